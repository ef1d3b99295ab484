#pragma once

#include "AudioEngine.h"

#include <QtGlobal>

#include <vector>

struct kiss_fftr_state;

// The arithmetic behind the meters: the spectrum of a block of stereo
// samples and the peak level of each channel. Not thread-safe; one per user.
class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // kFftSize interleaved stereo frames in; the channels are mixed, Hann
    // windowed, and the magnitudes scaled so that a sine of amplitude A (1.0
    // = full scale) centred on a bin reads A there. Clamped to 0.0..1.0.
    void Compute(const qint16* stereoFrames, SpectrumData& out);

private:
    kiss_fftr_state* m_plan;
    std::vector<float> m_window;
    std::vector<float> m_input;
    std::vector<float> m_output; // kiss_fft_cpx pairs
};

// Peak absolute sample of each channel over frames, as the level word: left
// in the low 16 bits, right in the high 16 bits, each 0..32768.
quint32 PeakLevelWord(const qint16* stereoFrames, qint64 frames);
