// Playlist files (.lft): the playable entries of any text, the rows built from
// them, and a playlist opened from the file.

#include "FuzzSupport.h"

#include "core/TextFiles.h"
#include "documents/Playlist.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = FuzzBytes(data, size);
    // Entries that name real files: a few exist beside the playlist, and every
    // line is also tried as a name in that directory, so lines can become entries.
    static const QString dir = [] {
        for (const char* name : {"a.lpf", "a.mp3", "a.lrc", "a.txt", "b.mp3"}) {
            WriteFuzzFile(QString::fromLatin1(name), QByteArray("x"));
        }
        return FuzzFilePath(QString());
    }();

    QStringList lines = SplitLines(DecodeFileText(bytes));
    const qsizetype given = lines.size();
    for (qsizetype i = 0; i < given; ++i) {
        lines.append(dir + lines[i]);
    }
    for (bool trim : {false, true}) {
        const QStringList entries = PlayableEntries(lines, trim);
        FUZZ_CHECK(entries.size() <= lines.size());
        for (const QString& entry : entries) {
            FUZZ_CHECK(EntryTypeOf(entry) != EntryType::Unsupported);
            MakePlaylistRow(entry);
            PartnerPath(entry);
        }
    }
    for (const QString& line : lines) {
        EntryTypeOf(line);
        PartnerPath(line);
    }

    Playlist list;
    const QString path = WriteFuzzFile(QStringLiteral("show.lft"), bytes);
    if (list.Open(path, (size & 1) != 0)) {
        FUZZ_CHECK(list.rows().size() == list.count());
        FUZZ_CHECK(!list.changed());
        if (list.count() > 1) {
            list.Move(0, 1);
            list.Remove(list.count() - 1);
        }
    }
    return 0;
}
