#include "ScreenParamControl.h"

#include "ParamFiles.h"

#include "link/CardRecordFill.h"
#include "link/MacAddress.h"

#include <QScopeGuard>

#include <algorithm>

std::optional<ParamAccess> ParamAccessFor(const QString& password) {
    if (password == QLatin1String("527")) {
        return ParamAccess::Restricted;
    }
    if (password == QLatin1String("946")) {
        return ParamAccess::Service;
    }
    return std::nullopt;
}

QString ReadbackMessage(const std::array<int, 3>& counts) {
    const QString indent = QStringLiteral("\u3000\u3000");
    return QStringLiteral("发现%1个横屏\n").arg(counts[0]) + indent +
           QStringLiteral("%1个纵屏\n").arg(counts[1]) + indent +
           QStringLiteral("%1个小屏\n").arg(counts[2]) + QStringLiteral("并回读屏幕参数");
}

ScreenParamControl::ScreenParamControl(StationLink& link, TLedThread& worker,
                                       SettingsStore& settings, OperatorInterface& op,
                                       StationPaths paths, QObject* parent)
    : QObject(parent), m_link(link), m_worker(worker), m_settings(settings), m_op(op),
      m_paths(std::move(paths)), m_service(link, worker, op) {
    for (ScreenId screen : kAllScreens) {
        QTimer& timer = collectTimer(screen);
        timer.setSingleShot(true);
        timer.setInterval(kCollectMs);
        connect(&timer, &QTimer::timeout, this, [this, screen] { FinishSearch(screen); });
    }
    m_moveTimer.setSingleShot(true);
    m_moveTimer.setInterval(kRescanMs);
    connect(&m_moveTimer, &QTimer::timeout, this, [this] { SearchAll(); });
    m_readbackTimer.setSingleShot(true);
    m_readbackTimer.setInterval(kReadbackMs);
    connect(&m_readbackTimer, &QTimer::timeout, this, [this] {
        std::array<int, 3> counts{};
        for (ScreenId screen : kAllScreens) {
            counts[size_t(ScreenIndex(screen))] = static_cast<int>(cards(screen).size());
        }
        emit readbackFinished(counts);
    });
    LoadPagesFromSettings();
}

void ScreenParamControl::LoadPagesFromSettings() {
    for (ScreenId screen : kAllScreens) {
        page(screen) = m_settings.ActiveSettings.screen(screen);
    }
}

void ScreenParamControl::CopyPagesToSettings(bool withOrientation) {
    for (ScreenId screen : kAllScreens) {
        TScreenParams& active = m_settings.ActiveSettings.screen(screen);
        const TScreenParams& shown = page(screen);
        active.ScreenKind = shown.ScreenKind;
        active.ScreenWidth = shown.ScreenWidth;
        active.ScreenHeight = shown.ScreenHeight;
        active.ScreenStyle = shown.ScreenStyle;
        active.ScanStyle = shown.ScanStyle;
        active.DataPol = shown.DataPol;
        active.OePol = shown.OePol;
        if (withOrientation) {
            active.Flash = shown.Flash;
        }
    }
    ApplyColourRule(m_settings);
}

void ScreenParamControl::SelectCard(ScreenId screen, int index) {
    const CardList& list = cards(screen);
    if (index < 0 || index >= static_cast<int>(list.size())) {
        return;
    }
    m_selected[size_t(ScreenIndex(screen))] = index;
    FillFromCard(screen, list[size_t(index)].record, page(screen));
    emit pageChanged(screen);
    emit cardsChanged(screen);
}

void ScreenParamControl::Search(ScreenId screen) {
    if (IsBusy(screen)) {
        return;
    }
    m_settings.cards(screen).clear();
    m_selected[size_t(ScreenIndex(screen))] = -1;
    emit cardsChanged(screen);
    m_service.BeginSearch(screen);
    collectTimer(screen).start();
    emit busyChanged(screen);
}

void ScreenParamControl::SearchAll() {
    for (ScreenId screen : kAllScreens) {
        Search(screen);
    }
}

bool ScreenParamControl::IsSearching(ScreenId screen) const {
    return m_collect[size_t(ScreenIndex(screen))].isActive();
}

bool ScreenParamControl::IsBusy() const {
    return std::any_of(kAllScreens.begin(), kAllScreens.end(),
                       [this](ScreenId screen) { return IsBusy(screen); }) ||
           IsMoving() || IsReadingBack();
}

void ScreenParamControl::FinishSearch(ScreenId screen) {
    collectTimer(screen).stop();
    emit busyChanged(screen);
    m_settings.cards(screen) = m_service.FinishSearch(screen);
    m_worker.SetCardList(screen, m_settings.cards(screen));
    if (!cards(screen).empty()) {
        page(screen).ScreenKind = true;
        SelectCard(screen, 0);
    } else {
        emit cardsChanged(screen);
    }
}

void ScreenParamControl::ApplyPageToWorker(ScreenId screen) {
    const TScreenParams& p = page(screen);
    m_worker.SetLinkScreenParams(screen, p);
}

void ScreenParamControl::LoadCards(ScreenId screen) {
    if (IsBusy(screen)) {
        return;
    }
    bool& loading = m_loading[size_t(ScreenIndex(screen))];
    loading = true;
    emit busyChanged(screen);
    const auto done = qScopeGuard([&] {
        loading = false;
        emit busyChanged(screen);
    });
    // A copy: the list must not change under the loop while messages are open.
    const CardList list = cards(screen);
    ApplyPageToWorker(screen);
    for (const CardEntry& entry : list) {
        ApplyPageToWorker(screen);
        const ParamBlock block = BuildParamBlock(m_worker.linkScreen(screen));
        m_service.LoadParameters(screen, MacFromEntry(entry.id), block, m_settings.Ad.play);
    }
}

void ScreenParamControl::MakeParamFile(ScreenId screen) {
    ApplyPageToWorker(screen);
    const IoStatus written =
        WriteParamFile(m_paths, screen, BuildParamBlock(m_worker.linkScreen(screen)));
    if (written) {
        m_op.Inform(ParamFileWrittenMessage(screen));
    } else {
        m_op.ShowError(written.message);
    }
}

void ScreenParamControl::MoveSelectedCard(ScreenId from, ScreenId to) {
    const int index = selectedCard(from);
    if (index < 0 || index >= static_cast<int>(cards(from).size())) {
        m_op.Inform(QStringLiteral("请选中一张卡"));
        return;
    }
    const MacAddress mac = MacFromEntry(cards(from)[size_t(index)].id);
    m_service.MoveCard(from, to, mac, m_settings.Ad.play);
    m_moveTimer.start();
}

void ScreenParamControl::Readback() {
    // Screens without an answer keep what the station uses now, not whatever
    // the dialog last showed.
    LoadPagesFromSettings();
    for (ScreenId screen : kAllScreens) {
        emit pageChanged(screen);
    }
    SearchAll();
    m_readbackTimer.start();
}
