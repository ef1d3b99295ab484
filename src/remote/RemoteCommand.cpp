#include "RemoteCommand.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<RemoteVerb, const char16_t*>, 12> kNames{{
    {RemoteVerb::Next, u"next"},
    {RemoteVerb::Previous, u"prev"},
    {RemoteVerb::GoToLine, u"go"},
    {RemoteVerb::SelectEntry, u"entry"},
    {RemoteVerb::Clear, u"clear"},
    {RemoteVerb::Connect, u"connect"},
    {RemoteVerb::Disconnect, u"disconnect"},
    {RemoteVerb::TempText, u"temp"},
    {RemoteVerb::Brightness, u"brightness"},
    {RemoteVerb::Play, u"play"},
    {RemoteVerb::Pause, u"pause"},
    {RemoteVerb::Stop, u"stop"},
}};

} // namespace

QString RemoteVerbName(RemoteVerb verb) {
    for (const auto& [v, name] : kNames) {
        if (v == verb) {
            return QString::fromUtf16(name);
        }
    }
    return {};
}

std::optional<RemoteVerb> RemoteVerbFromName(const QString& name) {
    for (const auto& [v, text] : kNames) {
        if (name == QStringView(text)) {
            return v;
        }
    }
    return std::nullopt;
}
