#include "OfflineCommands.h"

#include <QScopeGuard>

OfflineCommands::OfflineCommands(TLedThread& worker, SettingsStore& settings, OperatorInterface& op,
                                 StationPaths paths, OfflineReplay& replay, OfflineSender& sender,
                                 AdvertRenderer renderAdvert)
    : m_worker(worker), m_settings(settings), m_op(op), m_paths(std::move(paths)), m_replay(replay),
      m_sender(sender), m_renderAdvert(std::move(renderAdvert)) {}

void OfflineCommands::Generate(OfflineLog& log) {
    log.Clear();
    const IoStatus generated =
        GenerateOfflineSubtitles(m_worker, m_replay, m_settings.ActiveSettings, m_paths,
                                 [&log](const QString& line) { log.Append(line); });
    if (!generated) {
        // The command goes on with the files that exist.
        m_op.ShowError(generated.message);
    }
    log.Append(SeparatorLine());
}

void OfflineCommands::ExportToUsb(const QString& target, const UsbOptions& options,
                                  OfflineLog& log) {
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });
    // Refused before anything is generated or written: the operator only has
    // to choose the stick and press again.
    if (const QString problem = UsbTargetProblem(target); !problem.isEmpty()) {
        log.Clear();
        log.Append(problem);
        return;
    }
    Generate(log);
    ::ExportToUsb(m_paths, target, options, [&log](const QString& line) { log.Append(line); });
}

void OfflineCommands::SendOverNetwork(const NetworkOptions& options, OfflineLog& log) {
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });
    // 停止 may be pressed while the files are generated: it stops the whole
    // command, so the flag is cleared before the generation, never after it.
    m_sender.ResetCancel();
    Generate(log);
    if (m_sender.cancelled()) {
        log.Append(QStringLiteral("发送已停止：未向任何控制卡发送"));
        return;
    }
    m_sender.SetLog(&log);
    if (options.adverts) {
        const std::array<bool, 3> rendered = m_renderAdvert();
        for (ScreenId screen : kAllScreens) {
            m_sender.SendAdvertisement(screen, rendered[size_t(ScreenIndex(screen))]);
        }
        log.Append(SeparatorLine());
    }
    if (options.subtitles) {
        for (ScreenId screen : kAllScreens) {
            m_sender.SendSubtitleFile(screen);
        }
        log.Append(SeparatorLine());
    }
    if (m_sender.cancelled()) {
        log.Append(QStringLiteral("发送已停止"));
    }
    m_sender.SetLog(nullptr);
}

void OfflineCommands::SendAdvertisementEverywhere() {
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });
    m_sender.ResetCancel();
    m_sender.SetLog(nullptr);
    const std::array<bool, 3> rendered = m_renderAdvert();
    for (ScreenId screen : kAllScreens) {
        m_sender.SendAdvertisement(screen, rendered[size_t(ScreenIndex(screen))]);
    }
}
