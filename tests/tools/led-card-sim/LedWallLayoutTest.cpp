// Where the virtual LED wall puts its screens and how large it draws the dots:
// the screens side by side, the whole wall inside its window at the largest
// dot size that fits, and nothing cut off. The bank is never started: the
// layout needs the cards' shapes, not a link.

#include "CardBank.h"
#include "LedWall.h"
#include "LoopbackRig.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

SimCardSpec Card(int number, ScreenId screen, int width, int height, const QString& name) {
    SimCardSpec card = TestCard(number, screen);
    card.name = name;
    card.params = MakeCardParams(width, height, 0, screen == ScreenId::x ? 0 : 1);
    return card;
}

// The rehearsal's wall: two cards per screen; a vertical screen's card is as
// wide as the screen is tall, so its panel stands 32 x 256.
std::vector<SimCardSpec> RehearsalCards() {
    return {
        Card(1, ScreenId::h, 256, 32, QStringLiteral("横屏A")),
        Card(2, ScreenId::h, 256, 32, QStringLiteral("横屏B")),
        Card(11, ScreenId::s, 256, 32, QStringLiteral("纵屏A")),
        Card(12, ScreenId::s, 256, 32, QStringLiteral("纵屏B")),
        Card(21, ScreenId::x, 192, 32, QStringLiteral("小屏A")),
        Card(22, ScreenId::x, 192, 32, QStringLiteral("小屏B")),
    };
}

class LedWallLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_bank = std::make_unique<CardBank>(BankOptions{});
        for (const SimCardSpec& card : m_cards) {
            m_bank->AddCard(card);
        }
        // A long state line: the text must wrap inside its card, not run out.
        CardFaults faults;
        faults.dropPercent = 30;
        faults.ignoreModeSwitch = true;
        faults.ignoreSwap = true;
        faults.wrongSeq = true;
        faults.delayMs = 200;
        faults.duplicate = true;
        m_bank->SetFaults(m_cards[2].mac, faults);
        m_wall = std::make_unique<LedWall>(*m_bank);
        m_wall->show();
    }

    void AddCard(const SimCardSpec& card) {
        m_cards.push_back(card);
        m_bank->AddCard(card);
        m_wall->Tick();
    }

    // Resizes the window and waits until the wall has taken the new size.
    void ResizeTo(QSize room) {
        m_wall->resize(room);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_wall->size() == room; }, 5000));
    }

    static bool Fits(QSize needed, QSize room) {
        return needed.width() <= room.width() && needed.height() <= room.height();
    }

    // Everything inside the window, the screens next to each other in screen
    // order, each card inside its screen's area and clear of the others, its
    // dots drawn at the wall's dot size and its texts not cut off.
    void ExpectLaidOutWithin(QSize room) {
        const QRect window(QPoint(0, 0), room);
        const int d = m_wall->dotSize();
        QRect previous;
        for (ScreenId screen : kAllScreens) {
            SCOPED_TRACE(ScreenLetter(screen));
            const QRect area = m_wall->ScreenArea(screen);
            ASSERT_FALSE(area.isEmpty());
            EXPECT_TRUE(window.contains(area))
                << area.x() << "," << area.y() << " " << area.width() << "x" << area.height();
            if (!previous.isNull()) {
                EXPECT_GT(area.left(), previous.right()); // side by side, not stacked
                EXPECT_EQ(area.top(), previous.top());
            }
            previous = area;
        }
        const QFontMetrics metrics(m_wall->font());
        for (std::size_t i = 0; i < m_cards.size(); ++i) {
            const SimCardSpec& card = m_cards[i];
            SCOPED_TRACE(card.name.toStdString());
            const LedWall::CardPlace place = m_wall->Place(card.mac);
            EXPECT_TRUE(m_wall->ScreenArea(card.screen).contains(place.area()));
            EXPECT_EQ(place.panel.size(), m_wall->Panel(card.mac).size() * d);
            EXPECT_EQ(m_wall->Dots(card.mac).size(), place.panel.size());
            const QString title = card.name + QStringLiteral("  ") + MacText(card.mac);
            EXPECT_GE(place.title.width(), metrics.horizontalAdvance(title));
            EXPECT_GE(place.title.height(), metrics.height());
            const QString state = LedWall::DrawnStateText(m_wall->StateLine(card.mac));
            const QRect wrapped =
                metrics.boundingRect(place.state, Qt::AlignLeft | Qt::TextWordWrap, state);
            EXPECT_TRUE(place.state.contains(wrapped)) << state.toStdString();
            for (std::size_t j = i + 1; j < m_cards.size(); ++j) {
                EXPECT_FALSE(place.area().intersects(m_wall->Place(m_cards[j].mac).area()))
                    << m_cards[j].name.toStdString();
            }
        }
    }

    std::vector<SimCardSpec> m_cards = RehearsalCards();
    std::unique_ptr<CardBank> m_bank;
    std::unique_ptr<LedWall> m_wall;
};

} // namespace

TEST_F(LedWallLayoutTest, TheRehearsalWallFitsAWideLowWindowWithItsScreensSideBySide) {
    const QSize room(1600, 500);
    ResizeTo(room);
    // The vertical screen's 256 rows decide: two pixels a dot would need 512.
    EXPECT_EQ(m_wall->dotSize(), 1);
    ExpectLaidOutWithin(room);
    EXPECT_FALSE(Fits(m_wall->SizeForDotSize(2), room));
    // The vertical screen's panels stand next to each other, the horizontal
    // screen's cards one under the other.
    const QRect s1 = m_wall->Place(m_cards[2].mac).panel;
    const QRect s2 = m_wall->Place(m_cards[3].mac).panel;
    EXPECT_EQ(s1.top(), s2.top());
    const QRect h1 = m_wall->Place(m_cards[0].mac).panel;
    const QRect h2 = m_wall->Place(m_cards[1].mac).panel;
    EXPECT_EQ(h1.left(), h2.left());
    EXPECT_GT(h2.top(), h1.bottom());
}

TEST_F(LedWallLayoutTest, ResizingTheWindowPicksTheLargestDotSizeThatFits) {
    struct Case {
        QSize room;
        int dotSize;
    };
    const Case cases[] = {
        {{2400, 900}, 3},                   // 3 x 256 rows fit in 900, 4 x 256 do not
        {{1600, 500}, 1},                   // and back down
        {{1600, 700}, 2},                   // two rows of dots per LED in 1600 x 700
        {{600, 200}, LedWall::kMinDotSize}, // too small for anything: the smallest dots
        {{12000, 6000}, LedWall::kMaxDotSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            QStringLiteral("%1 x %2").arg(c.room.width()).arg(c.room.height()).toStdString());
        ResizeTo(c.room);
        EXPECT_EQ(m_wall->dotSize(), c.dotSize);
        if (c.dotSize < LedWall::kMaxDotSize) {
            EXPECT_FALSE(Fits(m_wall->SizeForDotSize(c.dotSize + 1), c.room));
        }
        if (Fits(m_wall->SizeForDotSize(LedWall::kMinDotSize), c.room)) {
            ExpectLaidOutWithin(c.room);
        }
    }
    // The smallest dots are the least a window holding the wall must give it.
    EXPECT_EQ(m_wall->minimumSizeHint(), m_wall->SizeForDotSize(LedWall::kMinDotSize));
}

TEST_F(LedWallLayoutTest, PlusAndMinusTakeTheWindowAlong) {
    ResizeTo({1600, 500});
    ASSERT_EQ(m_wall->dotSize(), 1);
    QKeyEvent plus(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier, QStringLiteral("+"));
    QCoreApplication::sendEvent(m_wall.get(), &plus);
    EXPECT_EQ(m_wall->dotSize(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_wall->size() == m_wall->SizeForDotSize(2); }));
    EXPECT_EQ(m_wall->dotSize(), 2);
    ExpectLaidOutWithin(m_wall->size());
    QKeyEvent minus(QEvent::KeyPress, Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"));
    QCoreApplication::sendEvent(m_wall.get(), &minus);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_wall->size() == m_wall->SizeForDotSize(1); }));
    EXPECT_EQ(m_wall->dotSize(), 1);
}

TEST_F(LedWallLayoutTest, CardsThatJoinLaterAreFittedIntoTheSameWindow) {
    const QSize room(2400, 900);
    ResizeTo(room);
    ASSERT_EQ(m_wall->dotSize(), 3);
    // Five horizontal cards: the fifth opens a second column, the wall
    // widens and the dots shrink to keep it inside the window.
    AddCard(Card(3, ScreenId::h, 256, 32, QStringLiteral("横屏C")));
    AddCard(Card(4, ScreenId::h, 256, 32, QStringLiteral("横屏D")));
    AddCard(Card(5, ScreenId::h, 256, 32, QStringLiteral("横屏E")));
    EXPECT_EQ(m_wall->size(), room);
    EXPECT_LT(m_wall->dotSize(), 3);
    ExpectLaidOutWithin(room);
    const QRect first = m_wall->Place(m_cards[0].mac).panel;
    const QRect fifth = m_wall->Place(m_cards.back().mac).panel;
    EXPECT_GT(fifth.left(), first.right());
    EXPECT_EQ(fifth.top(), first.top());
}
