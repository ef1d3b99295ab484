#include "SignalAnalysis.h"

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "kissfft built for float");

SpectrumAnalyzer::SpectrumAnalyzer()
    : m_plan(kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr)), m_window(kFftSize), m_input(kFftSize),
      m_output(static_cast<size_t>(kFftSize / 2 + 1) * 2) {
    if (m_plan == nullptr) {
        throw std::bad_alloc();
    }
    for (int i = 0; i < kFftSize; ++i) {
        m_window[static_cast<size_t>(i)] = static_cast<float>(
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / static_cast<double>(kFftSize)));
    }
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
    kiss_fftr_free(m_plan);
}

void SpectrumAnalyzer::Compute(const qint16* stereoFrames, SpectrumData& out) {
    for (int i = 0; i < kFftSize; ++i) {
        const float mono = (static_cast<float>(stereoFrames[2 * i]) +
                            static_cast<float>(stereoFrames[2 * i + 1])) /
                           (2.0f * 32768.0f);
        m_input[static_cast<size_t>(i)] = mono * m_window[static_cast<size_t>(i)];
    }
    auto* bins = reinterpret_cast<kiss_fft_cpx*>(m_output.data());
    kiss_fftr(m_plan, m_input.data(), bins);
    // The Hann window sums to N/2 and a real sine splits its energy between
    // two mirrored bins: 4/N brings a centred sine back to its amplitude.
    constexpr float scale = 4.0f / static_cast<float>(kFftSize);
    for (int k = 0; k < kSpectrumBins; ++k) {
        const float magnitude = std::hypot(bins[k].r, bins[k].i) * scale;
        out[static_cast<size_t>(k)] = std::clamp(magnitude, 0.0f, 1.0f);
    }
}

quint32 PeakLevelWord(const qint16* stereoFrames, qint64 frames) {
    int left = 0;
    int right = 0;
    for (qint64 i = 0; i < frames; ++i) {
        left = std::max(left, std::abs(static_cast<int>(stereoFrames[2 * i])));
        right = std::max(right, std::abs(static_cast<int>(stereoFrames[2 * i + 1])));
    }
    // |-32768| is full scale exactly; nothing goes beyond it.
    return static_cast<quint32>(left) | (static_cast<quint32>(right) << 16);
}
