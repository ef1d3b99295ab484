// Time of one RenderSubtitle on the product rasteriser: a 20-character Chinese
// line on a 256 x 32 screen in the three size modes, single and double row,
// and on a 32 x 256 vertical screen.
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

class DiscardingSink final : public FrameSink {
public:
    void LoadScreenBitmap(ScreenId, const QImage& frame, const FrameEffect&) override {
        m_last = frame;
    }
    void RequestFrame(ScreenId) override {}

private:
    QImage m_last;
};

// Different lines in turn, as during a show.
const std::array<QString, 4> kLines{
    QStringLiteral("今晚的演出即将开始请各位观众关闭手机铃声"),
    QStringLiteral("春眠不觉晓处处闻啼鸟夜来风雨声花落知多少"),
    QStringLiteral("欢迎光临本剧场舞台字幕控制系统正在为您服务"),
    QStringLiteral("第一幕第二场人物上场灯光渐亮音乐慢慢响起来"),
};

void RenderLine(benchmark::State& state, ScreenId screen, int autoSize, int rows,
                bool freshRasteriser = false) {
    TSettings settings;
    TScreenParams& params = settings.screen(screen);
    params.ScreenKind = true;
    if (screen == ScreenId::s) {
        params.ScreenWidth = 32;
        params.ScreenHeight = 256;
        params.Flash = 2;
    }
    TTextEffect& effect = settings.effect(screen);
    effect.AutoSize = autoSize;
    effect.Row = rows;
    effect.SizeWidth = 12;
    effect.SizeHeight = 24;
    settings.Text.Align = 2;

    DiscardingSink sink;
    auto rasteriser = std::make_unique<QtRasteriser>();
    auto renderer = std::make_unique<TextRenderer>(settings, *rasteriser);
    renderer->SetFrameSink(&sink);
    size_t i = 0;
    for (auto _ : state) {
        if (freshRasteriser) {
            // The station's first render of a size: the rasteriser's font and
            // size caches start empty (the system's font files stay loaded).
            state.PauseTiming();
            renderer.reset();
            rasteriser = std::make_unique<QtRasteriser>();
            renderer = std::make_unique<TextRenderer>(settings, *rasteriser);
            renderer->SetFrameSink(&sink);
            state.ResumeTiming();
        }
        const QString& row1 = kLines[i % kLines.size()];
        const QString& row2 = kLines[(i + 1) % kLines.size()];
        benchmark::DoNotOptimize(renderer->RenderSubtitle(screen, row1, row2));
        ++i;
    }
}

void BM_Horizontal_ModeA_Single(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 1, 1);
}
void BM_Horizontal_ModeB_Single(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 2, 1);
}
void BM_Horizontal_ModeC_Single(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 3, 1);
}
void BM_Horizontal_ModeA_Double(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 1, 2);
}
void BM_Horizontal_ModeB_Double(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 2, 2);
}
void BM_Horizontal_ModeC_Double(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 3, 2);
}
void BM_Vertical_ModeA_Single(benchmark::State& s) {
    RenderLine(s, ScreenId::s, 1, 1);
}
void BM_Vertical_ModeB_Single(benchmark::State& s) {
    RenderLine(s, ScreenId::s, 2, 1);
}
void BM_Vertical_ModeC_Single(benchmark::State& s) {
    RenderLine(s, ScreenId::s, 3, 1);
}
void BM_Vertical_ModeA_Double(benchmark::State& s) {
    RenderLine(s, ScreenId::s, 1, 2);
}
void BM_Horizontal_ModeA_Single_EmptyCaches(benchmark::State& s) {
    RenderLine(s, ScreenId::h, 1, 1, true);
}

} // namespace

BENCHMARK(BM_Horizontal_ModeA_Single)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Horizontal_ModeB_Single)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Horizontal_ModeC_Single)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Horizontal_ModeA_Double)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Horizontal_ModeB_Double)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Horizontal_ModeC_Double)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Vertical_ModeA_Single)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Vertical_ModeB_Single)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Vertical_ModeC_Single)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Vertical_ModeA_Double)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Horizontal_ModeA_Single_EmptyCaches)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
