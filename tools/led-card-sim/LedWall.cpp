#include "LedWall.h"

#include "render/Bitmaps.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStringList>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace {

constexpr int kMargin = 10;
constexpr int kLine = 18;
constexpr int kHeaderGap = 4;
constexpr int kCardGap = 10;
constexpr int kColumnGap = 18;
constexpr int kGroupGap = 30;
constexpr int kMinColumn = 280;  // text below a wide panel
constexpr int kSideColumn = 180; // text beside a tall panel
constexpr int kTextGap = 8;
constexpr int kStateLines = 3;   // an offline card's state also names what it could not read
constexpr int kCardsPerLine = 4; // a screen's cards wrap onto a new column or row past this
constexpr int kFullBrightness = 16;

QString ScreenTitle(ScreenId screen) {
    switch (screen) {
    case ScreenId::h:
        return QStringLiteral("横屏 h");
    case ScreenId::s:
        return QStringLiteral("纵屏 s");
    case ScreenId::x:
        return QStringLiteral("小屏 x");
    }
    return {};
}

// The panel a card drives, in the audience's orientation: the card's own
// geometry, turned for the vertical screen.
QSize PanelSize(const CardParams& block, ScreenId screen) {
    const int width = std::max(1, (block[0] | (block[1] << 8)) * 8);
    const int height = std::max(1, block[2] | (block[3] << 8));
    return screen == ScreenId::s ? QSize(height, width) : QSize(width, height);
}

QSize PanelSize(const CardState& state) {
    return PanelSize(state.setup.params, state.setup.screen);
}

bool PlaysOffline(const CardState& state) {
    return !state.connected && state.startOfflineOnDisconnect;
}

// Per row of a dot, the columns that light: a square for small dots, with a
// dark gap and rounded corners once there is room, so the wall reads as LEDs.
std::vector<std::pair<int, int>> DotSpans(int size) {
    std::vector<std::pair<int, int>> spans(std::size_t(size), {0, size});
    if (size < 3) {
        return spans;
    }
    const int lit = size - 1;
    spans.back() = {0, 0};
    for (int row = 0; row < lit; ++row) {
        const bool corner = size >= 5 && (row == 0 || row == lit - 1);
        spans[std::size_t(row)] = corner ? std::pair{1, lit - 1} : std::pair{0, lit};
    }
    return spans;
}

} // namespace

LedWall::LedWall(CardBank& bank, QWidget* parent) : QWidget(parent), m_bank(bank) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setInterval(kTickMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    SyncCards();
}

void LedWall::SetAutoTick(bool on) {
    if (on) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

AnimationAxes LedWall::AxesOf(ScreenId screen) {
    // The station's preview of the vertical screen animates the audience's
    // picture along the card's axes; the wall shows that same picture.
    return screen == ScreenId::s ? AnimationAxes::VerticalScreen : AnimationAxes::Horizontal;
}

QImage LedWall::AudiencePicture(ScreenId screen, const QImage& displayed) {
    if (displayed.isNull()) {
        return {};
    }
    QImage picture = displayed.convertToFormat(QImage::Format_RGB888);
    // CardFrame turned the picture anticlockwise; a clockwise turn undoes it.
    return screen == ScreenId::s ? TurnClockwise(picture) : picture;
}

QString LedWall::StateText(const CardState& state, const QString& offlineShow,
                           const QString& unreadable) {
    QStringList parts;
    parts << (state.connected ? QStringLiteral("已连接") : QStringLiteral("未连接"));
    if (PlaysOffline(state)) {
        // Told to run its offline programme when the station lets go.
        parts << (offlineShow.isEmpty() ? QStringLiteral("脱机 offline") : offlineShow);
        if (!unreadable.isEmpty()) {
            // Next to what plays, so a narrow panel does not cut it off.
            parts << unreadable;
        }
    } else if (state.mode == CardMode::Sync) {
        parts << QStringLiteral("同步");
    } else if (state.mode == CardMode::Offline) {
        parts << QStringLiteral("脱机 offline");
    } else {
        parts << QStringLiteral("模式未定");
    }
    parts << (state.brightness < 0 ? QStringLiteral("亮度 —")
                                   : QStringLiteral("亮度 %1").arg(state.brightness));
    parts << QStringLiteral("帧 %1").arg(state.swaps);
    const CardFaults& faults = state.setup.faults;
    QStringList faultParts;
    QStringList limits;
    if (faults.stopAfterSlices >= 0) {
        limits << QStringLiteral("%1 片后停止").arg(faults.stopAfterSlices);
    }
    if (faults.stopAfterFlash >= 0) {
        limits << QStringLiteral("闪存 %1 块后停止").arg(faults.stopAfterFlash);
    }
    if (!state.answering) {
        // Either limit may have silenced it; both are named.
        faultParts << QStringLiteral("无应答 (%1)").arg(limits.join(QStringLiteral(", ")));
    } else {
        faultParts << limits;
    }
    if (faults.dropPercent > 0) {
        faultParts << QStringLiteral("丢包 %1%").arg(faults.dropPercent);
    }
    if (faults.ignoreModeSwitch) {
        faultParts << QStringLiteral("不理模式切换");
    }
    if (faults.ignoreSwap) {
        faultParts << QStringLiteral("丢失 SwapBuffer");
    }
    if (faults.wrongSeq) {
        faultParts << QStringLiteral("序号错");
    }
    if (faults.delayMs > 0) {
        faultParts << QStringLiteral("延迟 %1 ms").arg(faults.delayMs);
    }
    if (faults.duplicate) {
        faultParts << QStringLiteral("重复应答");
    }
    if (!faultParts.isEmpty()) {
        parts << QStringLiteral("故障: ") + faultParts.join(QStringLiteral(", "));
    }
    return parts.join(QStringLiteral(" · "));
}

QString LedWall::DrawnStateText(const QString& stateLine) {
    const QString separator = QStringLiteral(" · ");
    QStringList parts = stateLine.split(separator);
    for (QString& part : parts) {
        part.replace(QLatin1Char(' '), QChar(0x00A0));
    }
    return parts.join(separator);
}

const LedWall::CardView* LedWall::Find(const MacAddress& mac) const {
    for (const CardView& view : m_cards) {
        if (view.mac == mac) {
            return &view;
        }
    }
    return nullptr;
}

QImage LedWall::Panel(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view ? view->panel : QImage();
}

QImage LedWall::Dots(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view ? view->dots : QImage();
}

QString LedWall::StateLine(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view ? view->stateLine : QString();
}

int LedWall::Step(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view ? view->step : 0;
}

bool LedWall::IsAnimating(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view && view->animating;
}

QStringList LedWall::OfflineProblems(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view && view->offline.active ? view->offline.programme.problems : QStringList();
}

void LedWall::Tick() {
    // Running animations step first; a line that arrives now starts from
    // black and takes its first step on the next tick, as the preview does.
    for (CardView& view : m_cards) {
        if (view.offline.active) {
            AdvanceOffline(view);
        } else if (view.animating) {
            Advance(view);
        }
    }
    SyncCards();
    for (CardView& view : m_cards) {
        if (view.dotsStale) {
            Redraw(view);
            update(view.place.panel);
        }
    }
}

void LedWall::SyncCards() {
    const std::vector<MacAddress> macs = m_bank.Macs();
    bool layout = false;
    // Cards the bank no longer has leave; new ones join.
    const auto gone = std::remove_if(m_cards.begin(), m_cards.end(), [&](const CardView& view) {
        return std::find(macs.begin(), macs.end(), view.mac) == macs.end();
    });
    if (gone != m_cards.end()) {
        m_cards.erase(gone, m_cards.end());
        layout = true;
    }
    for (const MacAddress& mac : macs) {
        if (Find(mac) == nullptr) {
            CardView view;
            view.mac = mac;
            m_cards.push_back(std::move(view));
            layout = true;
        }
    }
    for (CardView& view : m_cards) {
        const std::optional<CardState> state = m_bank.Card(view.mac);
        if (!state) {
            continue;
        }
        const QSize before = view.panel.size();
        const ScreenId screenBefore = view.screen;
        Take(view, *state);
        layout = layout || view.panel.size() != before || view.screen != screenBefore;
    }
    if (layout) {
        std::stable_sort(m_cards.begin(), m_cards.end(), [](const CardView& a, const CardView& b) {
            return ScreenIndex(a.screen) < ScreenIndex(b.screen);
        });
        Relayout();
    }
}

void LedWall::Take(CardView& view, const CardState& state) {
    view.screen = state.setup.screen;
    const QString title = state.setup.name + QStringLiteral("  ") + MacText(view.mac);
    if (title != view.title) {
        view.title = title;
        update(view.place.title);
    }
    const int level =
        state.brightness < 0 ? kFullBrightness : std::clamp(state.brightness, 0, kFullBrightness);
    if (level != view.brightness) {
        view.brightness = level;
        view.dotsStale = true;
    }
    const bool offline = PlaysOffline(state);
    if (offline) {
        OfflinePlay& play = view.offline;
        if (!play.active || play.disconnects != state.disconnects ||
            play.flashBlocks != state.flashBlocks || play.params != state.setup.params ||
            play.screen != state.setup.screen) {
            // New flash blocks change the programme, and a new parameter
            // block or screen changes what the records mean.
            EnterOffline(view, state);
        }
    } else if (view.offline.active) {
        view.offline = OfflinePlay{};
        // The live picture comes back as if it had just arrived.
        view.swaps = -1;
    }
    const QString line =
        offline ? StateText(state, OfflineShowText(view), UnreadableText(view)) : StateText(state);
    if (line != view.stateLine) {
        view.stateLine = line;
        update(view.place.state);
    }
    if (offline) {
        return;
    }
    const QSize panelSize = PanelSize(state);
    if (state.swaps == view.swaps && view.panel.size() == panelSize) {
        return;
    }
    // A new SwapBuffer: the card starts the line's animation from black, as
    // the station's preview does when it renders the line.
    view.swaps = state.swaps;
    view.picture = AudiencePicture(view.screen, state.displayed);
    view.panel = BlackBitmap(panelSize.width(), panelSize.height());
    view.params = AnimationParams{state.effect, state.speed, state.stay};
    view.step = 0;
    view.animating = false;
    view.dotsStale = true;
    if (view.picture.isNull()) {
        return;
    }
    if (state.effect == 0) {
        const QRect region(QPoint(0, 0), panelSize);
        CopyScaled(view.picture, region, view.panel, region);
    } else {
        view.animating = true;
        view.waitMs = kTickMs;
    }
}

void LedWall::Advance(CardView& view) {
    view.waitMs -= kTickMs;
    if (view.waitMs > 0) {
        return;
    }
    const AnimationStep next = EffectAnimationStep(AxesOf(view.screen), view.params, view.step,
                                                   view.panel.size(), view.picture.size());
    ApplyAnimationStep(next, view.picture, view.panel);
    view.step = next.step;
    view.animating = next.continues;
    view.waitMs = next.intervalMs;
    view.dotsStale = true;
}

void LedWall::EnterOffline(CardView& view, const CardState& state) {
    OfflinePlay& play = view.offline;
    play = OfflinePlay{};
    play.active = true;
    play.disconnects = state.disconnects;
    play.flashBlocks = state.flashBlocks;
    play.screen = state.setup.screen;
    play.params = state.setup.params;
    play.flash = m_bank.Flash(view.mac);
    play.programme = offline::ReadOfflineProgramme(play.flash, play.params);
    StartOfflineItem(view, 0);
}

int LedWall::OfflineItems(const CardView& view) {
    const offline::OfflineProgramme& programme = view.offline.programme;
    return (programme.advert ? 1 : 0) + static_cast<int>(programme.subtitles.size());
}

void LedWall::StartOfflineItem(CardView& view, int item) {
    OfflinePlay& play = view.offline;
    const offline::OfflineProgramme& programme = play.programme;
    play.item = item;
    play.holdMs = kOfflineHoldMs;
    const QSize panelSize = PanelSize(play.params, play.screen);
    view.panel = BlackBitmap(panelSize.width(), panelSize.height());
    view.picture = QImage();
    view.step = 0;
    view.animating = false;
    view.dotsStale = true;
    if (item < 0 || item >= OfflineItems(view)) {
        return; // nothing in the flash to play: the panel stays dark
    }
    const int subtitle = item - (programme.advert ? 1 : 0);
    const offline::OfflineRecord& record =
        subtitle < 0 ? *programme.advert : programme.subtitles[std::size_t(subtitle)];
    view.picture =
        AudiencePicture(play.screen, offline::DecodeRecord(play.flash, play.params, record));
    if (view.picture.isNull()) {
        // The reader checked the record against the flash, so only memory can
        // have run out; the item stays dark for its time and the show goes on.
        const QString note =
            (subtitle < 0 ? QStringLiteral("广告") : QStringLiteral("字幕 #%1").arg(subtitle + 1)) +
            QStringLiteral(": 无内存显示 %1 x %2")
                .arg(record.size.width())
                .arg(record.size.height());
        if (!play.programme.problems.contains(note)) {
            play.programme.problems << note;
        }
        return;
    }
    view.params = AnimationParams{record.effect, record.speed, record.pause};
    if (record.effect == 0) {
        const QRect region(QPoint(0, 0), panelSize);
        CopyScaled(view.picture, region, view.panel, region);
        return;
    }
    view.animating = true;
    view.waitMs = kTickMs;
    if (record.effect == 1) {
        play.holdMs = 0;
    }
}

void LedWall::AdvanceOffline(CardView& view) {
    const int items = OfflineItems(view);
    if (items == 0) {
        return;
    }
    if (view.animating) {
        Advance(view);
        // A scroll's step rules loop for ever; offline, its item is over once
        // the counter wraps, that is once the picture has left the panel.
        if (view.params.effect == 1 && view.step == 0) {
            view.animating = false;
        }
        return;
    }
    view.offline.holdMs -= kTickMs;
    if (view.offline.holdMs <= 0) {
        StartOfflineItem(view, (view.offline.item + 1) % items);
    }
}

QString LedWall::OfflineShowText(const CardView& view) {
    const offline::OfflineProgramme& programme = view.offline.programme;
    QString show;
    if (OfflineItems(view) == 0) {
        show = QStringLiteral("闪存无节目");
    } else if (programme.advert && view.offline.item == 0) {
        show = QStringLiteral("广告");
    } else {
        show = QStringLiteral("字幕 %1/%2")
                   .arg(view.offline.item + (programme.advert ? 0 : 1))
                   .arg(programme.subtitles.size());
    }
    return QStringLiteral("脱机播放 offline: ") + show;
}

QString LedWall::UnreadableText(const CardView& view) {
    const QStringList& problems = view.offline.programme.problems;
    if (problems.isEmpty()) {
        return {};
    }
    QString text = QStringLiteral("读不出: ") + problems.front();
    if (problems.size() > 1) {
        text += QStringLiteral(" (+%1)").arg(problems.size() - 1);
    }
    return text;
}

void LedWall::Redraw(CardView& view) {
    view.dotsStale = false;
    const int d = m_dotSize;
    const QSize size(view.panel.width() * d, view.panel.height() * d);
    if (view.dots.size() != size) {
        view.dots = QImage(size, QImage::Format_RGB32);
    }
    view.dots.fill(Qt::black);
    if (view.panel.isNull() || view.brightness == 0) {
        return;
    }
    const auto spans = DotSpans(d);
    const int level = view.brightness;
    const int width = view.panel.width();
    for (int y = 0; y < view.panel.height(); ++y) {
        const uchar* in = view.panel.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            const int r = in[3 * x];
            const int g = in[3 * x + 1];
            const int b = in[3 * x + 2];
            if ((r | g | b) == 0) {
                continue;
            }
            const QRgb colour = qRgb(r * level / kFullBrightness, g * level / kFullBrightness,
                                     b * level / kFullBrightness);
            for (int dy = 0; dy < d; ++dy) {
                QRgb* out = reinterpret_cast<QRgb*>(view.dots.scanLine(y * d + dy)) + x * d;
                const auto [from, to] = spans[std::size_t(dy)];
                std::fill(out + from, out + to, colour);
            }
        }
    }
}

void LedWall::SetDotSize(int size) {
    size = std::clamp(size, kMinDotSize, kMaxDotSize);
    const QSize wanted = SizeForDotSize(size);
    m_dotSize = size;
    QWidget* top = window();
    if (top == this) {
        resize(wanted);
    } else {
        top->resize(top->size() + wanted - this->size());
    }
    Relayout();
}

QSize LedWall::SizeForDotSize(int size) const {
    return Arrange(std::clamp(size, kMinDotSize, kMaxDotSize)).extent;
}

LedWall::CardPlace LedWall::Place(const MacAddress& mac) const {
    const CardView* view = Find(mac);
    return view ? view->place : CardPlace{};
}

QRect LedWall::ScreenArea(ScreenId screen) const {
    for (const ScreenGroup& group : m_groups) {
        if (group.screen == screen) {
            return group.area;
        }
    }
    return {};
}

LedWall::Arrangement LedWall::Arrange(int d) const {
    Arrangement out;
    out.cards.resize(m_cards.size());
    const QFontMetrics metrics(font());
    // Chinese falls back to another face than the widget's own, often a
    // taller one; the lines leave room for it.
    const int line = std::max(kLine, metrics.height() + 4);
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const int cardsTop = kMargin + line + kHeaderGap;
    int left = kMargin;
    QRect all;
    std::size_t i = 0;
    while (i < m_cards.size()) {
        const ScreenId screen = m_cards[i].screen;
        std::size_t end = i;
        bool tall = true;
        for (; end < m_cards.size() && m_cards[end].screen == screen; ++end) {
            tall = tall && m_cards[end].panel.height() > m_cards[end].panel.width();
        }
        // Wide panels stack in columns, tall ones (the vertical screen) stand
        // in rows with their text beside them: either way the group stays
        // about as high as its tallest panel.
        QRect cards;
        int x = left;
        int y = cardsTop;
        int inLine = 0;
        for (std::size_t k = i; k < end; ++k) {
            if (inLine == kCardsPerLine) {
                inLine = 0;
                if (tall) {
                    x = left;
                    y = cards.bottom() + 1 + kCardGap;
                } else {
                    x = cards.right() + 1 + kColumnGap;
                    y = cardsTop;
                }
            }
            const CardView& view = m_cards[k];
            const QSize panel = view.panel.size() * d;
            const int textWidth = metrics.horizontalAdvance(view.title) + 4;
            CardPlace place;
            if (tall) {
                const int column = std::max(kSideColumn, textWidth);
                place.panel = QRect(QPoint(x, y), panel);
                place.title = QRect(place.panel.right() + 1 + kTextGap, y, column, line);
                place.state = QRect(place.title.left(), place.title.bottom() + 3, column,
                                    std::max(kStateLines * line, panel.height() - line - 2));
            } else {
                const int column = std::max({panel.width(), kMinColumn, textWidth});
                place.title = QRect(x, y, column, line);
                place.panel = QRect(QPoint(x, place.title.bottom() + 3), panel);
                place.state = QRect(x, place.panel.bottom() + 5, column, kStateLines * line);
            }
            const QRect cell = place.area();
            cards |= cell;
            if (tall) {
                x = cell.right() + 1 + kColumnGap;
            } else {
                y = cell.bottom() + 1 + kCardGap;
            }
            ++inLine;
            out.cards[k] = place;
        }
        ScreenGroup group;
        group.screen = screen;
        const int width =
            std::max(cards.width(), boldMetrics.horizontalAdvance(ScreenTitle(screen)) + 4);
        group.header = QRect(left, kMargin, width, line);
        group.area = group.header | cards;
        all |= group.area;
        out.groups.push_back(group);
        left = group.area.right() + 1 + kGroupGap;
        i = end;
    }
    out.extent = all.isEmpty() ? QSize(2 * kMargin, 2 * kMargin)
                               : QSize(all.right() + 1 + kMargin, all.bottom() + 1 + kMargin);
    return out;
}

int LedWall::FittingDotSize(QSize room) const {
    for (int d = kMaxDotSize; d > kMinDotSize; --d) {
        const QSize needed = SizeForDotSize(d);
        if (needed.width() <= room.width() && needed.height() <= room.height()) {
            return d;
        }
    }
    return kMinDotSize;
}

void LedWall::Relayout() {
    if (!testAttribute(Qt::WA_Resized)) {
        // Not sized by anyone yet: the wall takes the room its dot size needs.
        resize(SizeForDotSize(m_dotSize));
    }
    const int d = FittingDotSize(size());
    const Arrangement arrangement = Arrange(d);
    m_dotSize = d;
    for (CardView& view : m_cards) {
        if (view.dots.size() != view.panel.size() * d) {
            Redraw(view);
        }
    }
    for (std::size_t i = 0; i < m_cards.size(); ++i) {
        m_cards[i].place = arrangement.cards[i];
    }
    m_groups = arrangement.groups;
    updateGeometry();
    update();
}

QSize LedWall::sizeHint() const {
    return SizeForDotSize(m_dotSize);
}

QSize LedWall::minimumSizeHint() const {
    return SizeForDotSize(kMinDotSize);
}

void LedWall::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void LedWall::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.fillRect(dirty, QColor(0x24, 0x24, 0x28));
    QFont bold = font();
    bold.setBold(true);
    for (const ScreenGroup& group : m_groups) {
        if (group.header.intersects(dirty)) {
            painter.setFont(bold);
            painter.setPen(Qt::white);
            painter.drawText(group.header, Qt::AlignLeft | Qt::AlignVCenter,
                             ScreenTitle(group.screen));
        }
    }
    painter.setFont(font());
    for (const CardView& view : m_cards) {
        if (view.place.title.intersects(dirty)) {
            painter.setPen(QColor(0xd0, 0xd0, 0xd0));
            painter.drawText(view.place.title, Qt::AlignLeft | Qt::AlignVCenter, view.title);
        }
        if (view.place.panel.intersects(dirty)) {
            painter.drawImage(view.place.panel.topLeft(), view.dots);
        }
        if (view.place.state.intersects(dirty)) {
            painter.setPen(view.stateLine.contains(QStringLiteral("无应答")) ||
                                   view.stateLine.contains(QStringLiteral("读不出"))
                               ? QColor(0xff, 0x70, 0x60)
                               : QColor(0x9a, 0xc8, 0xff));
            painter.drawText(view.place.state, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                             DrawnStateText(view.stateLine));
        }
    }
}

void LedWall::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        SetDotSize(m_dotSize + 1);
        return;
    case Qt::Key_Minus:
        SetDotSize(m_dotSize - 1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void LedWall::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    SetDotSize(m_dotSize + (delta > 0 ? 1 : -1));
    event->accept();
}
