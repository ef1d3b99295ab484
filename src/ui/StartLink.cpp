#include "StartLink.h"

#include "core/Operator.h"
#include "core/Settings.h"

#include <QFileInfo>

namespace {

const QString kFirstStartQuestion =
    QStringLiteral("舞台字幕机第一次启动，请选择工作方式：\n\n"
                   "演练（无硬件）：数据只在本机内收发，不会发往任何网络；"
                   "可用虚拟LED墙 led-card-sim --window --port-offset %1 --card mac=%2 观看效果。\n"
                   "真实网络：向演出网络上的控制卡广播。\n\n"
                   "以后可在 Config.ini 的 [Link] 一节中更改。");

// One screen in use with the card that the virtual LED wall simulates.
IoStatus WriteRehearsalScreens(const QString& config) {
    SettingsStore store;
    store.StoredSettings.screen(ScreenId::h).ScreenKind = true;
    store.cards(ScreenId::h)
        .push_back(CardEntry{
            QStringLiteral("mac:") + kRehearsalCardMac + QStringLiteral(" 舞台屏->A卡"), {}});
    return SaveConfig(store, config);
}

} // namespace

QString ResolveStartLink(StationOptions& options, OperatorInterface& op) {
    if (options.linkGiven) {
        return {};
    }
    const QString config = options.paths().configFile();
    if (!QFileInfo::exists(config)) {
        const int chosen =
            op.AskChoice(kFirstStartQuestion.arg(kRehearsalPortOffset).arg(kRehearsalCardMac),
                         QStringList{kRehearsalChoice, kRealNetworkChoice});
        const bool rehearsal = chosen != 1;
        options.link = rehearsal ? LinkConfig::Loopback(kRehearsalPortOffset) : LinkConfig{};
        IoStatus stored = rehearsal ? WriteRehearsalScreens(config) : IoStatus::Ok();
        if (stored) {
            stored = StoreLink(config, options.link);
        }
        if (!stored) {
            // This run keeps the choice; the next start asks again.
            op.ShowError(stored.message);
        }
        return {};
    }
    const LinkConfigParse stored = ReadStoredLink(config);
    if (!stored.ok()) {
        return stored.error;
    }
    if (stored.given) {
        options.link = stored.config;
    }
    return {};
}
