// wall_cost: what the virtual LED wall (led-card-sim --window) costs to draw
// at its 20 frames per second while every card scrolls a line, as CPU time of
// the user-interface thread per second of wall time (percent of one core).
// Two walls: three screens of four cards each, and one 2048 x 128 card.
//
//   wall_cost [--frames N]

#include "LiveTestSupport.h"

#include "LedWall.h"

#include "link/LedThread.h"

#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <ctime>

using namespace std::chrono_literals;

namespace {

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Wall {
    const char* name;
    std::vector<std::pair<ScreenId, QSize>> screens; // screen size (audience)
    int cardsPerScreen;
};

// Sends a scrolling line to every card and measures `frames` ticks with
// their repaints. Returns false when the line did not reach the cards.
bool Measure(const Wall& wall, int frames) {
    std::vector<SimCardSpec> cards;
    TSettings active;
    int number = 1;
    for (const auto& [screen, size] : wall.screens) {
        const QSize card = screen == ScreenId::s ? size.transposed() : size;
        for (int i = 0; i < wall.cardsPerScreen; ++i) {
            cards.push_back(CardFor(number++, screen, card.width(), card.height(), 0, 1));
        }
        active.screen(screen) = TScreenParams{true, 1, size.width(), size.height(), 1, 0, 0, 1, 0};
    }
    LoopbackRig rig(cards);
    if (!rig.ok()) {
        std::fprintf(stderr, "wall_cost: %s\n", rig.error().toLocal8Bit().constData());
        return false;
    }
    TLedThread worker(rig.link());
    for (const auto& [screen, size] : wall.screens) {
        worker.SetLinkScreenParams(screen, size.width(), size.height(), 1, 0, 0, 1);
        worker.UpdatePlaneLength(screen);
        worker.SetScreenInUse(screen, true);
        std::vector<SimCardSpec> mine;
        for (const SimCardSpec& card : cards) {
            if (card.screen == screen) {
                mine.push_back(card);
            }
        }
        worker.SetCardList(screen, CardListOf(mine));
        TTextEffect& effect = active.effect(screen);
        effect.AutoSize = 1;
        effect.Color = 3;
        effect.Effect = 1; // a scroll: every dot changes on every tick
        effect.Speed = 1;
    }
    QtRasteriser rasteriser;
    TextRenderer renderer(active, rasteriser);
    renderer.SetFrameSink(&worker);
    worker.Resume();
    for (const auto& [screen, size] : wall.screens) {
        renderer.RenderSubtitle(screen,
                                QStringLiteral("今晚演出即将开始，请各位观众将手机调至静音"), {});
        if (!worker.WaitFramesDone(screen, 1, 30s)) {
            std::fprintf(stderr, "wall_cost: the line did not reach screen %c\n",
                         ScreenLetter(screen));
            return false;
        }
    }

    LedWall ledWall(rig.bank());
    ledWall.SetDotSize(3);
    ledWall.show();
    ledWall.Tick();
    QCoreApplication::processEvents();
    const double start = ThreadSeconds();
    for (int i = 0; i < frames; ++i) {
        ledWall.Tick();
        QCoreApplication::processEvents();
    }
    const double cpu = ThreadSeconds() - start;
    // A wall that drew nothing would measure nothing.
    if (LitBounds(ledWall.Panel(cards.front().mac)).isNull()) {
        std::fprintf(stderr, "wall_cost: %s shows no lit dot\n", wall.name);
        return false;
    }
    const double wallSeconds = frames * LedWall::kTickMs / 1000.0;
    std::printf("%-34s %3zu cards  %5d frames  %.1f ms CPU per frame  %.1f%% of one core at "
                "20 fps\n",
                wall.name, cards.size(), frames, cpu * 1000.0 / frames, 100.0 * cpu / wallSeconds);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int frames = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            frames = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    const Wall walls[] = {
        {"3 screens x 4 cards (256x32 etc.)",
         {{ScreenId::h, {256, 32}}, {ScreenId::s, {32, 256}}, {ScreenId::x, {192, 32}}},
         4},
        {"one 2048 x 128 card", {{ScreenId::h, {2048, 128}}}, 1},
    };
    bool ok = true;
    for (const Wall& wall : walls) {
        ok = Measure(wall, frames) && ok;
    }
    return ok ? 0 : 1;
}
