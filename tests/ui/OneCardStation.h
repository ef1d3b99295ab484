#pragma once
// The show tests' common stage: the station fixture with one simulated card
// on its horizontal screen (256 x 32, two colours), answering on the
// fixture's own port offset.
#include "StationFixture.h"

#include "CardBank.h"
#include "LiveTestSupport.h"

#include "core/Settings.h"
#include "link/FrameEncoding.h"

#include <QImage>

#include <chrono>
#include <memory>

class OneCardStation : public StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        BankOptions options;
        options.portOffset = portOffset();
        m_bank = std::make_unique<CardBank>(options);
        m_card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
        m_bank->AddCard(m_card);
        ASSERT_TRUE(m_bank->Start().ok);
    }
    void TearDown() override {
        StationFixture::TearDown();
        m_bank.reset();
    }

    // The horizontal screen in use with the card, `playlist` opened at the
    // start; `horizontalOnly` takes the other two screens out of use.
    SettingsStore OneCardConfig(const QString& playlist, bool horizontalOnly = false) const {
        SettingsStore store;
        store.StoredSettings.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
        if (horizontalOnly) {
            store.StoredSettings.screen(ScreenId::s).ScreenKind = false;
            store.StoredSettings.screen(ScreenId::x).ScreenKind = false;
        }
        store.cards(ScreenId::h) = CardListOf({m_card});
        store.Play.LastOpenFile = playlist;
        return store;
    }

    QImage Shown() const { return m_bank->Displayed(m_card.mac); }
    CardState card() const { return *m_bank->Card(m_card.mac); }
    // The card's swaps once the worker has sent all it was asked: right after
    // a connect its blank frame may still be on its way on a loaded machine.
    int SettledSwaps(TMainForm& w) const {
        EXPECT_TRUE(w.worker().WaitUntilIdle(std::chrono::seconds(10)));
        return card().swaps;
    }

    std::unique_ptr<CardBank> m_bank;
    SimCardSpec m_card;
};
