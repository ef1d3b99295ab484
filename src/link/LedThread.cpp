#include "LedThread.h"

#include "DataSlices.h"

#include <algorithm>
#include <optional>

namespace {

QImage BlackFrame(int width, int height) {
    QImage frame(std::max(width, 1), std::max(height, 1), QImage::Format_RGB888);
    frame.fill(Qt::black);
    return frame;
}

void SetPlaneLength(LinkScreen& link) {
    link.planeLength = PlaneLength(link.scan, link.fold, link.width, link.planeLength);
    const SliceCounts counts = SliceCountsOf(link.planeLength);
    link.fullSlices = counts.fullSlices;
    link.lastSliceBytes = counts.lastSliceBytes;
}

} // namespace

TLedThread::TLedThread(StationLink& link) : m_link(link) {
    for (const Ipv4Address& address : link.config().EffectiveLocalAddresses()) {
        m_localAddresses.append(address.toString());
    }
    for (Screen& screen : m_screens) {
        screen.bitmap = BlackFrame(screen.link.width, screen.link.height);
    }
    for (ScreenId screen : kAllScreens) {
        screenLocked(screen).running = true;
    }
    for (ScreenId screen : kAllScreens) {
        m_senders[static_cast<std::size_t>(ScreenIndex(screen))] =
            std::thread([this, screen] { RunSender(screen); });
    }
}

TLedThread::~TLedThread() {
    Terminate();
}

void TLedThread::Terminate() {
    {
        std::lock_guard lock(m_mutex);
        m_terminate = true;
    }
    m_wake.notify_all();
    m_gate.notify_all();
    for (std::thread& sender : m_senders) {
        if (sender.joinable()) {
            sender.join();
        }
    }
}

void TLedThread::LoadScreenBitmap(ScreenId screen, const QImage& frame, const FrameEffect& effect) {
    // The old bitmap is released under the lock, so its pixels are freed after
    // (in the order of the lock) the worker's last look at them.
    QImage replaced;
    std::lock_guard lock(m_mutex);
    Screen& state = screenLocked(screen);
    replaced = std::exchange(state.bitmap, frame);
    state.effect = effect;
    replaced = QImage();
}

void TLedThread::RequestFrame(ScreenId screen) {
    FrameDiverter* diverter = nullptr;
    QImage frame;
    FrameEffect effect;
    {
        std::lock_guard lock(m_mutex);
        Screen& state = screenLocked(screen);
        if (m_diverter != nullptr) {
            diverter = m_diverter;
            frame = state.bitmap;
            effect = state.effect;
        } else {
            state.link.width = state.bitmap.width();
            state.link.height = state.bitmap.height();
            SetPlaneLength(state.link);
            QImage replaced = std::exchange(state.requested, state.bitmap);
            state.requestedEffect = state.effect;
            state.link.sendRequest = true;
            replaced = QImage();
        }
    }
    if (diverter != nullptr) {
        diverter->DivertFrame(screen, frame, effect);
        return;
    }
    m_wake.notify_all();
}

void TLedThread::SetLinkScreenParams(ScreenId screen, int width, int height, int colourIndex,
                                     int scanIndex, int dataPolarity, int oePolarity) {
    const bool turned = screen == ScreenId::s;
    const int cardWidth = turned ? height : width;
    const int cardHeight = turned ? width : height;
    const ScanArrangement arrangement = ScanArrangementOf(scanIndex);
    std::lock_guard lock(m_mutex);
    Screen& state = screenLocked(screen);
    state.link.width = cardWidth;
    state.link.height = cardHeight;
    state.link.rowsPerGroup = RowsPerGroup(scanIndex);
    state.link.scan = arrangement.scan;
    state.link.fold = arrangement.fold;
    state.link.colourKind = ColourKindText(colourIndex);
    state.link.dataPolarity = dataPolarity;
    state.link.oePolarity = oePolarity;
    QImage replaced = std::exchange(state.bitmap, BlackFrame(cardWidth, cardHeight));
    replaced = QImage();
}

LinkScreen TLedThread::linkScreen(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).link;
}

QImage TLedThread::ScreenBitmap(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).bitmap;
}

FrameEffect TLedThread::screenEffect(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).effect;
}

void TLedThread::SetColourKind(ScreenId screen, const QString& colourKind) {
    std::lock_guard lock(m_mutex);
    screenLocked(screen).link.colourKind = colourKind;
}

void TLedThread::UpdatePlaneLength(ScreenId screen) {
    std::lock_guard lock(m_mutex);
    SetPlaneLength(screenLocked(screen).link);
}

void TLedThread::SetScreenInUse(ScreenId screen, bool inUse) {
    {
        std::lock_guard lock(m_mutex);
        screenLocked(screen).inUse = inUse;
    }
    m_wake.notify_all();
}

bool TLedThread::IsScreenInUse(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).inUse;
}

void TLedThread::SetCardList(ScreenId screen, const CardList& cards) {
    // Plain copies: nothing the worker keeps shares storage with the lists the
    // user interface goes on editing.
    std::vector<CardTarget> targets;
    const std::size_t count = std::min<std::size_t>(cards.size(), kMaxCards);
    targets.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        targets.push_back({MacFromEntry(cards[i].id), cards[i].id.mid(4, 17).toStdU16String()});
    }
    std::lock_guard lock(m_mutex);
    Screen& state = screenLocked(screen);
    const bool same =
        std::equal(targets.begin(), targets.end(), state.cards.begin(), state.cards.end(),
                   [](const CardTarget& a, const CardTarget& b) { return a.mac == b.mac; });
    if (!same) {
        ++state.cardsGeneration;
    }
    state.cards = std::move(targets);
}

void TLedThread::SetFrameDiverter(FrameDiverter* diverter) {
    std::lock_guard lock(m_mutex);
    m_diverter = diverter;
}

void TLedThread::SetFrameTap(FrameTap* tap) {
    std::lock_guard lock(m_tapMutex);
    m_tap = tap;
}

void TLedThread::TapFrame(ScreenId screen, const FrameJob& job) {
    std::lock_guard lock(m_tapMutex);
    if (m_tap != nullptr) {
        m_tap->FrameOnShow(screen, job.frame, job.effect);
    }
}

int TLedThread::LocalAddresses(QStringList& out) const {
    out.append(m_localAddresses);
    return static_cast<int>(m_localAddresses.size());
}

void TLedThread::RequestBrightness(int level) {
    {
        std::lock_guard lock(m_mutex);
        m_light = std::clamp(level, 0, 16);
        for (Screen& screen : m_screens) {
            screen.brightnessRequest = true;
        }
    }
    m_wake.notify_all();
}

void TLedThread::SetBrightnessLevel(int level) {
    std::lock_guard lock(m_mutex);
    m_light = std::clamp(level, 0, 16);
}

int TLedThread::BrightnessLevel() const {
    std::lock_guard lock(m_mutex);
    return m_light;
}

void TLedThread::Resume() {
    {
        std::lock_guard lock(m_mutex);
        m_suspended = false;
        ReleasedLocked();
    }
    m_wake.notify_all();
    m_gate.notify_all();
}

void TLedThread::Suspend() {
    {
        std::lock_guard lock(m_mutex);
        m_suspended = true;
    }
    // A sender waiting at the swap rendezvous goes to its pause point now.
    m_gate.notify_all();
}

bool TLedThread::IsSuspended() const {
    std::lock_guard lock(m_mutex);
    return m_suspended;
}

void TLedThread::PauseSending(bool paused) {
    {
        std::lock_guard lock(m_mutex);
        m_paused = paused;
        ReleasedLocked();
    }
    m_wake.notify_all();
    m_gate.notify_all();
}

bool TLedThread::IsSendingPaused() const {
    std::lock_guard lock(m_mutex);
    return m_paused;
}

bool TLedThread::WaitUntilHeld(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] {
        return HeldLocked() && std::all_of(m_screens.begin(), m_screens.end(),
                                           [](const Screen& s) { return s.held || !s.running; });
    });
}

bool TLedThread::WaitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] {
        return std::all_of(m_screens.begin(), m_screens.end(), [this](const Screen& s) {
            return !s.running || (s.idle && (HeldLocked() || !HasWorkLocked(s)));
        });
    });
}

FrameReport TLedThread::LastFrame(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).report;
}

bool TLedThread::WaitFramesDone(ScreenId screen, long long frames,
                                std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit,
                              [&] { return screenLocked(screen).report.frames >= frames; });
}

long long TLedThread::Cycles() const {
    std::lock_guard lock(m_mutex);
    return m_cycles;
}

void TLedThread::ReleasedLocked() {
    if (HeldLocked()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    for (Screen& screen : m_screens) {
        screen.progress = now;
    }
}

bool TLedThread::PausePoint(ScreenId screen) {
    std::unique_lock lock(m_mutex);
    if (m_terminate) {
        return false;
    }
    if (!HeldLocked()) {
        return true;
    }
    Screen& state = screenLocked(screen);
    state.held = true;
    m_changed.notify_all();
    m_wake.wait(lock, [this] { return m_terminate || !HeldLocked(); });
    state.held = false;
    return !m_terminate;
}

void TLedThread::RunSender(ScreenId screen) {
    std::unique_lock lock(m_mutex);
    Screen& state = screenLocked(screen);
    for (;;) {
        state.held = true;
        state.idle = true;
        m_changed.notify_all();
        m_wake.wait(lock, [&] { return m_terminate || (!HeldLocked() && HasWorkLocked(state)); });
        state.held = false;
        state.idle = false;
        if (m_terminate) {
            break;
        }
        ++m_cycles;
        const bool brightness = std::exchange(state.brightnessRequest, false);
        const int level = m_light;
        lock.unlock();

        bool go = !brightness || SendBrightness(screen, level);
        if (go) {
            FrameJob job;
            lock.lock();
            const bool due = state.inUse && state.link.sendRequest;
            if (due) {
                state.link.sendRequest = false;
                job.frame = state.requested;
                job.effect = state.requestedEffect;
                job.link = state.link;
                // The plane length goes with the picture that is sent: new
                // screen parameters set since the request must not stretch an
                // older, smaller picture over the card's memory.
                job.link.width = job.frame.width();
                job.link.height = job.frame.height();
                SetPlaneLength(job.link);
                job.cards = state.cards;
                job.cardsGeneration = state.cardsGeneration;
            }
            lock.unlock();
            if (due) {
                go = SendFrame(screen, job);
                // Our reference to the frame goes under the lock, see LoadScreenBitmap.
                lock.lock();
                job.frame = QImage();
                lock.unlock();
            }
        }
        lock.lock();
        if (!go) {
            break;
        }
    }
    state.running = false;
    state.held = true;
    state.idle = true;
    m_changed.notify_all();
}

bool TLedThread::SendBrightness(ScreenId screen, int level) {
    std::vector<CardTarget> cards;
    {
        std::lock_guard lock(m_mutex);
        cards = screenLocked(screen).cards;
    }
    ScreenLink& link = m_link.screen(screen);
    // Every listed card gets the level, also those of a screen not in use,
    // whose listener the connect sequence never opened.
    if (!cards.empty()) {
        link.EnsureActive();
    }
    for (const CardTarget& card : cards) {
        const Command command = m_link.commands().Brightness(card.mac, level);
        for (int copy = 0; copy < 2; ++copy) {
            link.SendUnanswered(command);
            std::this_thread::sleep_for(LinkBudgets::kBrightnessGap);
        }
        if (!PausePoint(screen)) {
            return false;
        }
    }
    return true;
}

void TLedThread::ReportFailure(ScreenId screen, const CardTarget& card, const QString& what) {
    if (m_monitor.IsVisible()) {
        m_monitor.AddLine(ScreenName(screen) + QString::fromStdU16String(card.macText) + what);
    }
}

bool TLedThread::SendFrame(ScreenId screen, FrameJob& job) {
    const ColourKind kind = ColourKindOf(job.link.colourKind);
    FrameStore& store = m_stores[static_cast<std::size_t>(ScreenIndex(screen))];
    store.Reserve(static_cast<std::size_t>(std::max(job.link.planeLength, 0)));
    EncodeLiveFrame(job.frame, kind, job.link.rowsPerGroup, store);
    for (;;) {
        const FrameOutcome outcome = SendFrameToCards(screen, job);
        // However the transfer ended, nobody waits for this screen's swaps now.
        SetPhase(screen, SwapPhase::Idle);
        switch (outcome) {
        case FrameOutcome::Done:
            return true;
        case FrameOutcome::Terminated:
            return false;
        case FrameOutcome::CardsChanged: {
            // The station reconnected with another card list while this
            // transfer was held: the online flags now index the new list, so
            // the frame goes to the new list's cards, from the start.
            std::lock_guard lock(m_mutex);
            const Screen& state = screenLocked(screen);
            job.cards = state.cards;
            job.cardsGeneration = state.cardsGeneration;
            break;
        }
        }
    }
}

TLedThread::FrameOutcome TLedThread::TransferPausePoint(ScreenId screen, const FrameJob& job) {
    if (!PausePoint(screen)) {
        return FrameOutcome::Terminated;
    }
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).cardsGeneration == job.cardsGeneration ? FrameOutcome::Done
                                                                       : FrameOutcome::CardsChanged;
}

void TLedThread::SetPhase(ScreenId screen, SwapPhase phase) {
    {
        std::lock_guard lock(m_mutex);
        Screen& state = screenLocked(screen);
        state.phase = phase;
        state.progress = std::chrono::steady_clock::now();
    }
    // Senders waiting at the rendezvous look again.
    m_gate.notify_all();
}

void TLedThread::NoteProgress(ScreenId screen) {
    // No wake-up: a waiting sender only needs the time when it next looks.
    std::lock_guard lock(m_mutex);
    screenLocked(screen).progress = std::chrono::steady_clock::now();
}

TLedThread::FrameOutcome TLedThread::GatherSwaps(ScreenId screen, const FrameJob& job) {
    // One attempt of the slice budget: a healthy card answers well within it,
    // so a screen whose exchange lasts longer is retrying a card that may be
    // dying, and its budget must not become the other screens' wait.
    const std::chrono::milliseconds stalled = LinkBudgets::kFrameSlice.PerAttempt();
    SetPhase(screen, SwapPhase::Ready);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_terminate) {
            return FrameOutcome::Terminated;
        }
        if (HeldLocked()) {
            lock.unlock();
            if (const FrameOutcome paused = TransferPausePoint(screen, job);
                paused != FrameOutcome::Done) {
                return paused;
            }
            lock.lock();
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        std::optional<std::chrono::steady_clock::time_point> until;
        for (ScreenId other : kAllScreens) {
            const Screen& state = screenLocked(other);
            if (other == screen || state.phase != SwapPhase::Writing) {
                continue;
            }
            const auto giveUp = state.progress + stalled;
            if (giveUp > now && (!until || giveUp < *until)) {
                until = giveUp;
            }
        }
        if (!until) {
            break;
        }
        m_gate.wait_until(lock, *until);
    }
    screenLocked(screen).phase = SwapPhase::Swapping;
    return FrameOutcome::Done;
}

PipelineHooks TLedThread::HooksFor(ScreenId screen, const FrameJob& job) {
    PipelineHooks hooks;
    hooks.gate = [this, screen, &job] {
        std::lock_guard lock(m_mutex);
        if (m_terminate) {
            return PipelineGate::Terminate;
        }
        // A changed card list stops new commands too: the online flags now
        // index the new list, which the pause point hands on.
        return HeldLocked() || screenLocked(screen).cardsGeneration != job.cardsGeneration
                   ? PipelineGate::Held
                   : PipelineGate::Open;
    };
    hooks.pausePoint = [this, screen, &job] { return TransferPausePoint(screen, job); };
    hooks.progress = [this, screen] { NoteProgress(screen); };
    hooks.connected = [this](int) {
        // The reconnected card needs its level again; as before, every
        // screen's cards get it on their sender's next cycle.
        {
            std::lock_guard lock(m_mutex);
            for (Screen& state : m_screens) {
                state.brightnessRequest = true;
            }
        }
        m_wake.notify_all();
    };
    hooks.failed = [this, screen, &job](const PipelineCard& card, const CardStep& step) {
        ReportFailure(screen, job.cards[static_cast<std::size_t>(card.index)],
                      FailureText(screen, step));
    };
    return hooks;
}

QString TLedThread::FailureText(ScreenId screen, const CardStep& step) {
    switch (step.kind) {
    case CardStep::Kind::Connect:
        return QStringLiteral("建立连接超时");
    case CardStep::Kind::Swap:
        return screen == ScreenId::h ? QStringLiteral("发送切换缓冲超时")
                                     : QStringLiteral("交换缓冲超时");
    case CardStep::Kind::Write:
        break;
    }
    const QString colour = step.plane == 1 ? QStringLiteral("红色") : QStringLiteral("绿色");
    return step.slice.last ? QStringLiteral("发送") + colour + QStringLiteral("最后一个数据包超时")
                           : QStringLiteral("发送") + colour + QStringLiteral("第") +
                                 QString::number(step.slice.index) + QStringLiteral("个数据包超时");
}

TLedThread::FrameOutcome TLedThread::SendFrameToCards(ScreenId screen, const FrameJob& job) {
    const ColourKind kind = ColourKindOf(job.link.colourKind);
    ScreenLink& link = m_link.screen(screen);
    const int cardCount = static_cast<int>(job.cards.size());
    SetPhase(screen, SwapPhase::Writing);
    if (const FrameOutcome paused = TransferPausePoint(screen, job); paused != FrameOutcome::Done) {
        return paused;
    }

    const FrameStore& store = m_stores[static_cast<std::size_t>(ScreenIndex(screen))];
    PipelinePayload payload;
    payload.planes = {store.Plane(1), store.Plane(2)};
    payload.effect = job.effect.effect;
    payload.speed = job.effect.speed;
    payload.stay = job.effect.rollStay;
    payload.extent = job.frame.width();
    const PipelineHooks hooks = HooksFor(screen, job);
    CardPipeline pipeline(link, m_link.commands(), m_online, LinkBudgets::ConnectForFrame(screen),
                          LinkBudgets::kFrameSlice);

    // First pass, every card at once: connect what is offline, then the planes.
    std::vector<CardStep> planes;
    for (int plane = 1; plane <= PlaneCount(kind); ++plane) {
        for (const DataSlice& slice :
             SlicePlane(job.link.planeLength, plane == 1 ? kPlane1Unit : kPlane2Unit)) {
            planes.push_back({CardStep::Kind::Write, plane, slice});
        }
    }
    std::vector<PipelineCard> cards;
    cards.reserve(job.cards.size());
    for (int i = 0; i < cardCount; ++i) {
        PipelineCard card{i, job.cards[static_cast<std::size_t>(i)].mac, {}};
        if (!m_online.get(screen, i)) {
            card.steps.push_back({CardStep::Kind::Connect});
        }
        card.steps.insert(card.steps.end(), planes.begin(), planes.end());
        cards.push_back(std::move(card));
    }
    if (const FrameOutcome written = pipeline.Run(cards, payload, hooks).outcome;
        written != FrameOutcome::Done) {
        return written;
    }

    // Second pass, together with the other screens: every card still online
    // shows the frame. A screen without a card to swap has nothing to show
    // together.
    cards.clear();
    for (int i = 0; i < cardCount; ++i) {
        if (m_online.get(screen, i)) {
            cards.push_back(
                {i, job.cards[static_cast<std::size_t>(i)].mac, {{CardStep::Kind::Swap}}});
        }
    }
    if (!cards.empty()) {
        if (const FrameOutcome gathered = GatherSwaps(screen, job);
            gathered != FrameOutcome::Done) {
            return gathered;
        }
    }
    TapFrame(screen, job);
    const CardPipeline::Result swapped = pipeline.Run(cards, payload, hooks);
    if (swapped.outcome != FrameOutcome::Done) {
        return swapped.outcome;
    }
    {
        std::lock_guard lock(m_mutex);
        FrameReport& report = screenLocked(screen).report;
        ++report.frames;
        report.cards = cardCount;
        report.shown = swapped.completed;
    }
    m_changed.notify_all();
    return FrameOutcome::Done;
}
