#pragma once

#include "core/IoStatus.h"
#include "core/ScreenId.h"
#include "outputs/DdpPackets.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// One DDP receiver: an IPv4 address and its UDP port.
struct DdpReceiver {
    std::uint32_t address = 0; // host byte order
    int port = ddp::kDefaultPort;
    QString toString() const; // "a.b.c.d" or "a.b.c.d:port" when not the default
    bool operator==(const DdpReceiver&) const = default;
};

// "a.b.c.d" or "a.b.c.d:PORT" (port 1..65535); nullopt for anything else.
std::optional<DdpReceiver> ParseDdpReceiver(const QString& text);

// How a monitor window lays the screen's line out.
enum class MonitorLayout {
    Projector,  // the line as the screen shows it, as large as the monitor allows
    Confidence, // for the performers: the current line large, the next one below
};

// What a screen sends beside its cards.
struct ScreenOutputs {
    std::vector<DdpReceiver> ddp;
    ddp::PixelOptions pixels;
    // The monitor (a QScreen's name, or its number from 1 in the desktop's
    // list) that shows the screen in a window of its own; empty: none.
    QString monitor;
    MonitorLayout layout = MonitorLayout::Projector;
    bool operator==(const ScreenOutputs&) const = default;
};

// The extra outputs, in a section of Config.ini of their own ([Outputs]); the
// settings store and older files are left as they are. Nothing is sent
// anywhere until the operator lists a receiver.
struct OutputSettings {
    std::array<ScreenOutputs, 3> screens; // indexed like the screens
    ScreenOutputs& screen(ScreenId id) {
        return screens[static_cast<std::size_t>(ScreenIndex(id))];
    }
    const ScreenOutputs& screen(ScreenId id) const {
        return screens[static_cast<std::size_t>(ScreenIndex(id))];
    }
    bool HasDdp() const;
    bool HasMonitor() const;
    bool operator==(const OutputSettings&) const = default;
};

// Missing file, section or key: the defaults. Receivers that do not parse are
// left out; a brightness that does not parse keeps 100.
OutputSettings LoadOutputSettings(const QString& configPath);
// Updates the section; every other line of the file stays as it is.
IoStatus SaveOutputSettings(const QString& configPath, const OutputSettings& settings);

// "a, b c" -> receivers; the texts that are not receivers go to `bad`.
std::vector<DdpReceiver> ParseDdpReceiverList(const QString& text, QStringList* bad = nullptr);
QString DdpReceiverListText(const std::vector<DdpReceiver>& receivers);

// What the command line asks for this run only: per screen, receivers that
// replace the stored ones (so a test aimed at loopback never also reaches a
// receiver stored in the file).
struct OutputOverrides {
    std::array<std::optional<std::vector<DdpReceiver>>, 3> ddp;
    struct Monitor {
        QString name;
        MonitorLayout layout = MonitorLayout::Projector;
        bool operator==(const Monitor&) const = default;
    };
    std::array<std::optional<Monitor>, 3> monitor;
    bool operator==(const OutputOverrides&) const = default;
};

struct OutputArgumentsParse {
    OutputOverrides overrides;
    QString error;
    QStringList remaining; // the arguments that are not output options, in order
    bool ok() const { return error.isEmpty(); }
};

// "--ddp SCREEN=ADDR[:PORT]" (repeatable; SCREEN is h, s or x) and
// "--monitor SCREEN=NAME[,confidence]", also as "--option=value".
OutputArgumentsParse ParseOutputArguments(const QStringList& arguments);
QString OutputOptionsHelp();
OutputSettings WithOverrides(OutputSettings settings, const OutputOverrides& overrides);
