// Scripts as the operator opens them: a .txt, .lrc or .lpf file loaded into the
// document session, its line list built under the paragraph settings, time
// tags read and stamped, and the project sections parsed.

#include "FuzzSupport.h"

#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/LineBuilding.h"
#include "documents/ProjectFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // Byte 0 picks the file kind, byte 1 the paragraph settings; the rest is the file.
    static const QString kNames[3] = {QStringLiteral("script.txt"), QStringLiteral("song.lrc"),
                                      QStringLiteral("show.lpf")};
    const QString& name = kNames[data[0] % 3];
    const QByteArray bytes = FuzzBytes(data + 2, size - 2);
    const QString path = WriteFuzzFile(name, bytes);

    SettingsStore settings;
    settings.ActiveSettings.Text.AutoPara = data[1] & 1;
    settings.ActiveSettings.Text.ParaLen = (data[1] >> 1) - 8; // zero and negative lengths too
    DocumentSession session(settings);
    if (!session.Load(path)) {
        return 0;
    }
    const LineList& items = session.lines();
    for (const LineItem& item : items) {
        if (!item.Source.isEmpty() && item.Source.startsWith(u'[')) {
            TagSeconds(item.Source);
            TagSecondsField(item.Source);
        }
    }
    if (!items.isEmpty()) {
        session.StampTime(0, 83.9);
        session.StampTime(items.size() - 1, 1e9);
    }
    session.StampTime(items.size(), 1.0);
    session.RebuildLineList();

    // The builders on their own, with the lines as the file gives them.
    const QStringList lines = SplitLines(DecodeFileText(bytes));
    BuildSegmentedList(lines, settings.ActiveSettings.Text);
    const QStringList lyrics = ApplyLyricFilter(lines);
    BuildLyricList(lyrics);
    for (const QString& line : lines) {
        const int seconds = TagSeconds(line);
        TagSecondsField(line);
        if (seconds >= 0 && seconds < 100 * 3600) {
            FUZZ_CHECK(TagSeconds(FormatTimeTag(seconds)) == seconds);
        }
    }

    // A project written from what was parsed carries the same lines.
    TSettings projectSettings;
    const QStringList content = ParseProjectText(DecodeFileText(bytes), projectSettings);
    ParseProjectText(ProjectFileLines(projectSettings, content).join(QStringLiteral("\r\n")),
                     projectSettings);
    return 0;
}
