#pragma once

#include "ParamBlock.h"

#include "core/Operator.h"
#include "core/Paths.h"
#include "core/ScreenId.h"
#include "core/Settings.h"
#include "link/CardService.h"
#include "link/LedThread.h"
#include "link/StationLink.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

// What the password in front of the screen-parameter dialog opens: "527" the
// sizes, in-use flags and orientation only; "946" everything, including
// loading cards and writing parameter files.
enum class ParamAccess { Restricted, Service };
// nullopt for any other text (including an empty one).
std::optional<ParamAccess> ParamAccessFor(const QString& password);

// "发现N个横屏\n　　N个纵屏\n　　N个小屏\n并回读屏幕参数".
QString ReadbackMessage(const std::array<int, 3>& counts);

// The screen-parameter dialog's working state and commands, without widgets:
// the three pages of screen settings, the card lists with their selection,
// searches with their 400 ms collection windows, loading parameter blocks into
// the cards of a page, writing a page's parameter file, moving a card to
// another screen (all lists searched again 500 ms later) and the one-key
// readback of all three screens.
//
// The card lists are those of the settings store (they are saved with
// Config.ini); a search replaces its screen's list when its window ends.
// User-interface thread only; everything given must outlive the object.
class ScreenParamControl : public QObject {
    Q_OBJECT
public:
    ScreenParamControl(StationLink& link, TLedThread& worker, SettingsStore& settings,
                       OperatorInterface& op, StationPaths paths, QObject* parent = nullptr);

    // The pages as the dialog shows them; edits of the dialog go straight in.
    TScreenParams& page(ScreenId screen) { return m_pages[size_t(ScreenIndex(screen))]; }
    const TScreenParams& page(ScreenId screen) const {
        return m_pages[size_t(ScreenIndex(screen))];
    }
    // The pages take the active settings (the dialog does this whenever it
    // becomes active).
    void LoadPagesFromSettings();
    // Copies the pages into the active settings: in-use flags, sizes, colour,
    // scan and polarities, and the orientation when asked (only "确定" does).
    // The colour rule follows. The caller does the rest of applying them.
    void CopyPagesToSettings(bool withOrientation);

    const CardList& cards(ScreenId screen) const { return m_settings.cards(screen); }
    // -1 when nothing is selected.
    int selectedCard(ScreenId screen) const { return m_selected[size_t(ScreenIndex(screen))]; }
    // Selects an entry and fills the page from its record (a click in the list).
    void SelectCard(ScreenId screen, int index);

    // "寻找": clears the list, sends Search and collects answers for 400 ms.
    // Refused while the screen's cards are being loaded: both listen on the
    // screen's one reply state, and the load would end the search's window
    // early and wipe the list.
    void Search(ScreenId screen);
    void SearchAll();
    bool IsSearching(ScreenId screen) const;
    // "加载": the page's values into the worker's screen, then the block into
    // every card of the list, in order, one message each. Refused while the
    // screen is searched or already loading (its messages let events run).
    void LoadCards(ScreenId screen);
    bool IsLoading(ScreenId screen) const { return m_loading[size_t(ScreenIndex(screen))]; }
    // A search or a load of the screen runs: its 寻找 and 加载 wait.
    bool IsBusy(ScreenId screen) const { return IsSearching(screen) || IsLoading(screen); }
    // Any command that waits for cards runs (a search, a load, a move, a
    // readback): closing the station waits for it.
    bool IsBusy() const;
    // "生成脱机文件": the page's values into the worker's screen and the
    // screen's parameter file; one message either way.
    void MakeParamFile(ScreenId screen);
    // The list's context menu: the selected card to `to`, then every list
    // searched again after 500 ms (whatever the outcome).
    void MoveSelectedCard(ScreenId from, ScreenId to);
    bool IsMoving() const { return m_moveTimer.isActive(); }
    // "回读": the pages take the active settings, every screen is searched, the
    // pages fill from the first card that answered on each, and 500 ms after
    // the start readbackFinished reports the counts.
    void Readback();
    bool IsReadingBack() const { return m_readbackTimer.isActive(); }

    // Timer lengths; tests of slow machines never need to change them.
    static constexpr int kCollectMs = 400;
    static constexpr int kRescanMs = 500;
    static constexpr int kReadbackMs = 500;

signals:
    // A page's values changed (filled from a card).
    void pageChanged(ScreenId screen);
    // A card list or its selection changed.
    void cardsChanged(ScreenId screen);
    // IsBusy(screen) changed.
    void busyChanged(ScreenId screen);
    // The readback's window ended: the host applies the pages and shows the counts.
    void readbackFinished(std::array<int, 3> counts);

private:
    void FinishSearch(ScreenId screen);
    void ApplyPageToWorker(ScreenId screen);
    QTimer& collectTimer(ScreenId screen) { return m_collect[size_t(ScreenIndex(screen))]; }

    StationLink& m_link;
    TLedThread& m_worker;
    SettingsStore& m_settings;
    OperatorInterface& m_op;
    const StationPaths m_paths;
    CardService m_service;
    std::array<TScreenParams, 3> m_pages{};
    std::array<int, 3> m_selected{-1, -1, -1};
    std::array<QTimer, 3> m_collect;
    std::array<bool, 3> m_loading{};
    QTimer m_moveTimer;
    QTimer m_readbackTimer;
};
