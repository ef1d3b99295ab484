// Subtitle files as the operator opens them: any bytes read as SRT or ASS,
// the rows of the line list built, cues edited and timed, and the file written
// back. What is written must read back as the same cues.

#include "FuzzSupport.h"

#include "core/TextFiles.h"
#include "documents/SurtitleEditing.h"
#include "documents/SurtitleFile.h"

#include <cstdint>
#include <cstdlib>

namespace {

void CheckReadsBack(const SurtitleScript& script) {
    const SurtitleScript again = ParseSurtitle(SurtitleFileText(script), script.format);
    FUZZ_CHECK(again.cueCount() == script.cueCount());
    QList<const SurtitleCue*> before;
    QList<const SurtitleCue*> after;
    for (const SurtitlePiece& piece : script.pieces) {
        if (piece.isCue) {
            before.append(&piece.cue);
        }
    }
    for (const SurtitlePiece& piece : again.pieces) {
        if (piece.isCue) {
            after.append(&piece.cue);
        }
    }
    for (qsizetype i = 0; i < before.size() && i < after.size(); ++i) {
        FUZZ_CHECK(before[i]->text == after[i]->text);
        if (script.format == SurtitleFormat::Srt) {
            FUZZ_CHECK(before[i]->startMs == after[i]->startMs);
            FUZZ_CHECK(before[i]->endMs == after[i]->endMs);
        } else {
            // The format keeps hundredths of a second.
            FUZZ_CHECK(std::llabs(before[i]->startMs - after[i]->startMs) < 10);
        }
    }
}

void CheckRows(const SurtitleScript& script, const QList<SurtitleRow>& rows) {
    for (qsizetype i = 0; i < rows.size(); ++i) {
        FUZZ_CHECK(rows[i].piece >= 0 && rows[i].piece < script.pieces.size());
        FUZZ_CHECK(script.pieces[rows[i].piece].isCue);
        FUZZ_CHECK(i == 0 || rows[i - 1].timeMs <= rows[i].timeMs);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // Byte 0: bit 0 picks the format, the rest which row is edited.
    const SurtitleFormat format = (data[0] & 1) ? SurtitleFormat::Ass : SurtitleFormat::Srt;
    const QString text = DecodeScriptText(FuzzBytes(data + 1, size - 1)).text;
    SurtitleScript script = ParseSurtitle(text, format);
    QList<SurtitleRow> rows = BuildSurtitleRows(script);
    CheckRows(script, rows);
    SurtitleOverlaps(script);
    for (const SurtitlePiece& piece : script.pieces) {
        if (piece.isCue) {
            CueTextShown(piece.cue.textLines.join(u'\n'), format);
        }
    }
    CheckReadsBack(script);

    if (!rows.isEmpty()) {
        const qsizetype row = qsizetype(data[0] >> 1) % rows.size();
        SetCueText(script, rows, row, QStringLiteral("改, {\\i1}a --> b &amp; \\N"));
        StampRow(script, rows, row, 1234567);
        StampRow(script, rows, (row + 1) % rows.size(), 5);
        InsertCueBefore(script, rows, row, QStringLiteral("新"));
        rows = BuildSurtitleRows(script);
        CheckRows(script, rows);
        RemoveCue(script, rows, rows.size() - 1);
        CheckReadsBack(script);
    }
    ReplaceCuesWithLines(script, SplitLines(text).mid(0, 8));
    CheckReadsBack(script);
    return 0;
}
