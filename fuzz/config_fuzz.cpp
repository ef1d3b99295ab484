// Config.ini as the station reads it at start and writes it at exit: whatever
// the file holds, what the station saved must load as what it saved, or the
// next start of the station would not be the show the operator left. (The
// first save may turn control characters inside values into spaces, so that a
// line break can never split a value; from then on the file is stable.)

#include "FuzzSupport.h"

#include "core/Settings.h"

#include <cstdint>

namespace {

// Names the records that differ, so a finding says at once what was lost.
bool SameSettings(const SettingsStore& a, const SettingsStore& b) {
    const bool link = a.StoredSettings.Link == b.StoredSettings.Link;
    const bool screens = a.StoredSettings.Screen == b.StoredSettings.Screen;
    const bool text = a.StoredSettings.Text == b.StoredSettings.Text;
    const bool effects = a.StoredSettings.Effect == b.StoredSettings.Effect;
    const bool ad = a.Ad == b.Ad;
    const bool play = a.Play == b.Play;
    const bool cards = a.Cards == b.Cards;
    if (!(link && screens && text && effects && ad && play && cards)) {
        std::fprintf(stderr, "differs:%s%s%s%s%s%s%s\n", link ? "" : " link",
                     screens ? "" : " screens", text ? "" : " text", effects ? "" : " effects",
                     ad ? "" : " ad", play ? "" : " play", cards ? "" : " cards");
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = WriteFuzzFile(QStringLiteral("Config.ini"), FuzzBytes(data, size));

    SettingsStore first;
    LoadConfig(first, path);
    if (!SaveConfig(first, path)) {
        return 0;
    }
    SettingsStore second;
    LoadConfig(second, path);
    if (!SaveConfig(second, path)) {
        return 0;
    }
    SettingsStore third;
    LoadConfig(third, path);
    FUZZ_CHECK(SameSettings(second, third));

    // A second save of settings read back from our own file changes nothing.
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    file.close();
    FUZZ_CHECK(static_cast<bool>(SaveConfig(second, path)));
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    FUZZ_CHECK(file.readAll() == written);

    // The applied records and the preview placements read the same file.
    ApplyStoredSettings(second);
    ApplyColourRule(second);
    for (ScreenId id : {ScreenId::h, ScreenId::s, ScreenId::x}) {
        ReadPreviewPlacement(path, id);
    }
    return 0;
}
