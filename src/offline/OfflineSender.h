#pragma once

#include "FlashTransfer.h"

#include "core/Operator.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "link/LedThread.h"
#include "link/StationLink.h"

#include <atomic>

// The offline dialog's log (Memo1) and its progress bar. User-interface thread.
class OfflineLog {
public:
    virtual ~OfflineLog() = default;
    virtual void Append(const QString& line) = 0;
    virtual void ReplaceLast(const QString& line) = 0;
    virtual void Clear() = 0;
    // Which card is being written and how far it is (blocks sent of total).
    virtual void ShowProgress(const QString& card, int sent, int total) {
        (void)card, (void)sent, (void)total;
    }
};

// Sends offline content into the cards of a screen, card by card in list
// order: the subtitle file and the advertisement. Each card's transfer runs on
// a helper thread while this thread keeps the window's events running and
// shows the transfer's lines as they come. Without a log (the advertisement
// command of the menu) a card's failure is a message box and no progress is
// shown. User-interface thread only; everything given must outlive the object.
class OfflineSender {
public:
    OfflineSender(StationLink& link, TLedThread& worker, SettingsStore& settings,
                  OperatorInterface& op, StationPaths paths);

    void SetLog(OfflineLog* log) { m_log = log; }
    // Stops after the block being written; the card is disconnected with
    // "no" and the remaining cards and screens are skipped.
    void Cancel() { m_cancel = true; }
    bool cancelled() const { return m_cancel.load(); }
    void ResetCancel() { m_cancel = false; }

    // The screen's data/zim_?.bin into every card of its list.
    void SendSubtitleFile(ScreenId screen);
    // The screen's ScreenBitmap as data/gg_?.bin, then into every card of its
    // list. `rendered` false (the advertisement did not fit the screen, its
    // bitmap is an older picture): nothing is filed or sent for that screen.
    void SendAdvertisement(ScreenId screen, bool rendered);

    // Cards the last command wrote completely.
    int cardsDone() const { return m_cardsDone; }

private:
    // The plan into every card of the screen's list, a log line first for each;
    // false when a cancel stopped it.
    bool SendToCards(ScreenId screen, const TransferPlan& plan, const QString& line,
                     bool reportDisconnectTimeout);
    TransferOutcome Transfer(const TransferCard& card, const TransferPlan& plan,
                             bool reportDisconnectTimeout);
    void Show(const std::vector<TransferReport::Event>& events, const QString& card);
    void Log(const QString& line);

    StationLink& m_link;
    TLedThread& m_worker;
    SettingsStore& m_settings;
    OperatorInterface& m_op;
    const StationPaths m_paths;
    OfflineLog* m_log = nullptr;
    std::atomic<bool> m_cancel{false};
    int m_cardsDone = 0;
};
