#include "RecoveryOptions.h"

#include "core/IniFile.h"
#include "core/SettingsKeys.h"

namespace {

const QString kSection = QStringLiteral("ShowRecovery");
const QString kPause = QStringLiteral("PauseAfterRecovery");

} // namespace

RecoveryOptions LoadRecoveryOptions(const QString& configPath) {
    const IniFile ini = IniFile::FromFile(configPath);
    RecoveryOptions options;
    options.pauseAfterRecovery = ReadIniFlag(ini, kSection, kPause);
    return options;
}

IoStatus SaveRecoveryOptions(const QString& configPath, const RecoveryOptions& options) {
    IniFile ini = IniFile::FromFile(configPath);
    ini.setValue(kSection, kPause,
                 options.pauseAfterRecovery ? QStringLiteral("1") : QStringLiteral("0"));
    return ini.save(configPath);
}
