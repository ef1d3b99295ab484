#include "ShowState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Bumped when a field changes meaning; an older station reads nothing of a
// newer journal rather than the wrong line.
constexpr int kJournalVersion = 1;
const QString kJournalKind = QStringLiteral("station-show-journal");
const QString kCopyKind = QStringLiteral("station-unsaved-script");

QString ContentName(ScreenContent content) {
    switch (content) {
    case ScreenContent::TempText:
        return QStringLiteral("temp");
    case ScreenContent::Blank:
        return QStringLiteral("blank");
    case ScreenContent::Line:
        break;
    }
    return QStringLiteral("line");
}

ScreenContent ContentOf(const QString& name) {
    if (name == QLatin1String("temp")) {
        return ScreenContent::TempText;
    }
    if (name == QLatin1String("blank")) {
        return ScreenContent::Blank;
    }
    return ScreenContent::Line;
}

QJsonArray ToArray(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

QStringList ToList(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& item : value.toArray()) {
        list.append(item.toString());
    }
    return list;
}

std::optional<QJsonObject> OurObject(const QByteArray& bytes, const QString& kind) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    QJsonObject object = document.object();
    if (object.value(QStringLiteral("kind")).toString() != kind ||
        object.value(QStringLiteral("version")).toInt() != kJournalVersion) {
        return std::nullopt;
    }
    return object;
}

} // namespace

bool ShowState::SameShow(const ShowState& other) const {
    return playlistPath == other.playlistPath && entries == other.entries && entry == other.entry &&
           entryPath == other.entryPath && line == other.line && lineText == other.lineText &&
           linkOpen == other.linkOpen && brightness == other.brightness && player == other.player &&
           (player != PlayerState::Paused || positionMs == other.positionMs) &&
           screens == other.screens && temp == other.temp && cleanExit == other.cleanExit &&
           editsKeptAt == other.editsKeptAt;
}

QByteArray ShowStateToJson(const ShowState& state) {
    QJsonObject object;
    object.insert(QStringLiteral("kind"), kJournalKind);
    object.insert(QStringLiteral("version"), kJournalVersion);
    object.insert(QStringLiteral("cleanExit"), state.cleanExit);
    object.insert(QStringLiteral("playlist"), state.playlistPath);
    if (state.entries) {
        object.insert(QStringLiteral("entries"), ToArray(*state.entries));
    }
    object.insert(QStringLiteral("entry"), qint64(state.entry));
    object.insert(QStringLiteral("entryPath"), state.entryPath);
    object.insert(QStringLiteral("line"), qint64(state.line));
    object.insert(QStringLiteral("lineText"), state.lineText);
    object.insert(QStringLiteral("linkOpen"), state.linkOpen);
    object.insert(QStringLiteral("brightness"), state.brightness);
    object.insert(QStringLiteral("player"), int(state.player));
    object.insert(QStringLiteral("positionMs"), state.positionMs);
    object.insert(QStringLiteral("takenAtMs"), state.takenAtMs);
    object.insert(QStringLiteral("screens"), ContentName(state.screens));
    object.insert(QStringLiteral("tempRow1"), state.temp.row1);
    object.insert(QStringLiteral("tempRow2"), state.temp.row2);
    object.insert(QStringLiteral("tempColour"), state.temp.colour);
    object.insert(QStringLiteral("editsKeptAt"), state.editsKeptAt);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<ShowState> ShowStateFromJson(const QByteArray& bytes) {
    const std::optional<QJsonObject> found = OurObject(bytes, kJournalKind);
    if (!found) {
        return std::nullopt;
    }
    const QJsonObject& o = *found;
    const auto number = [&o](const char* key) { return o.value(QLatin1String(key)).toInteger(-1); };
    const auto text = [&o](const char* key) { return o.value(QLatin1String(key)).toString(); };
    ShowState state;
    state.cleanExit = o.value(QStringLiteral("cleanExit")).toBool();
    state.playlistPath = text("playlist");
    if (o.contains(QStringLiteral("entries"))) {
        state.entries = ToList(o.value(QStringLiteral("entries")));
    }
    state.entry = qsizetype(number("entry"));
    state.entryPath = text("entryPath");
    state.line = qsizetype(number("line"));
    state.lineText = text("lineText");
    state.linkOpen = o.value(QStringLiteral("linkOpen")).toBool();
    state.brightness = int(std::clamp<qint64>(number("brightness"), 0, 16));
    const qint64 player = number("player");
    state.player = player >= 0 && player <= int(PlayerState::Recording) ? PlayerState(player)
                                                                        : PlayerState::NoDocument;
    state.positionMs = std::max<qint64>(number("positionMs"), 0);
    state.takenAtMs = std::max<qint64>(number("takenAtMs"), 0);
    state.screens = ContentOf(text("screens"));
    state.temp.row1 = text("tempRow1");
    state.temp.row2 = text("tempRow2");
    state.temp.colour = int(std::max<qint64>(number("tempColour"), 0));
    state.editsKeptAt = text("editsKeptAt");
    return state;
}

QByteArray ScriptCopyToJson(const ScriptCopy& copy) {
    QJsonObject object;
    object.insert(QStringLiteral("kind"), kCopyKind);
    object.insert(QStringLiteral("version"), kJournalVersion);
    object.insert(QStringLiteral("script"), copy.scriptPath);
    object.insert(QStringLiteral("lines"), ToArray(copy.lines));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<ScriptCopy> ScriptCopyFromJson(const QByteArray& bytes) {
    const std::optional<QJsonObject> found = OurObject(bytes, kCopyKind);
    if (!found) {
        return std::nullopt;
    }
    ScriptCopy copy;
    copy.scriptPath = found->value(QStringLiteral("script")).toString();
    copy.lines = ToList(found->value(QStringLiteral("lines")));
    if (copy.scriptPath.isEmpty()) {
        return std::nullopt;
    }
    return copy;
}
