#pragma once

#include "OfflineGeneration.h"
#include "OfflineSender.h"
#include "UsbExport.h"

#include <array>
#include <functional>

struct NetworkOptions {
    bool adverts = true;
    bool subtitles = true;
};

// The two commands of the offline dialog ("产生脱机数据及发送"): both first
// regenerate the offline subtitle files from the playlist, then either copy
// the data files to a USB stick or write the advertisement and the subtitle
// files into every card over the network. Every step is a line of the log.
// User-interface thread only; everything given must outlive the object.
class OfflineCommands {
public:
    // Renders the advertisement on the three screens; true for each screen
    // whose picture is the advertisement (false: not in use or too long).
    using AdvertRenderer = std::function<std::array<bool, 3>()>;

    OfflineCommands(TLedThread& worker, SettingsStore& settings, OperatorInterface& op,
                    StationPaths paths, OfflineReplay& replay, OfflineSender& sender,
                    AdvertRenderer renderAdvert);

    void ExportToUsb(const QString& target, const UsbOptions& options, OfflineLog& log);
    // The sender's Cancel (停止) stops it at any point, the generation
    // included: nothing is sent after a stop.
    void SendOverNetwork(const NetworkOptions& options, OfflineLog& log);

    // The stand-by advertisement into every card of the screens in use, its
    // failures as message boxes (the menu command's part after the dialog).
    void SendAdvertisementEverywhere();

    // One of the commands above runs (they let the window's events run while
    // they generate and wait for cards): closing the station waits for it.
    bool IsRunning() const { return m_running; }

private:
    void Generate(OfflineLog& log);

    TLedThread& m_worker;
    SettingsStore& m_settings;
    OperatorInterface& m_op;
    const StationPaths m_paths;
    OfflineReplay& m_replay;
    OfflineSender& m_sender;
    AdvertRenderer m_renderAdvert;
    bool m_running = false;
};
