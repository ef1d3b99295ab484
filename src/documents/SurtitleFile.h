#pragma once

#include "core/TextFiles.h"

#include <QList>
#include <QString>
#include <QStringList>

// Subtitle files as translators deliver them: SubRip (.srt) and Advanced
// SubStation Alpha (.ass, and its older .ssa form). A file is read into cues
// (a text with a start and an end time) and kept with everything around the
// cues, so that saving after an edit writes the file back as it was except
// where the operator changed something. Broken files are read the way common
// players read them, and every problem found is noted for the pre-show check.

enum class SurtitleFormat { Srt, Ass };

// ".srt", ".ass" and ".ssa", without regard to case.
bool IsSurtitlePath(const QString& path);
// ".srt" is SubRip; ".ass" and ".ssa" are the SubStation form.
SurtitleFormat SurtitleFormatOfPath(const QString& path);

struct SurtitleCue {
    qint64 startMs = 0;
    // Not later than startMs when the file gives no usable end: the cue then
    // stays on the screens until the next one starts.
    qint64 endMs = 0;
    // What the screens show: tags and override blocks removed, the lines of
    // the cue joined by one space, entities decoded.
    QString text;

    // As written, so an unchanged cue is written back unchanged.
    // SRT: the timing line and the text lines. ASS: the "Dialogue:" key with
    // its spacing, the fields before the text, and the text field.
    QString timing;
    QStringList textLines;
    QString key;
    QStringList fields;
    // ASS: which of `fields` hold the times, by the Format line in force
    // where the cue stands.
    int startField = 1;
    int endField = 2;

    int fileLine = 0; // 1-based line of the file where the cue begins; 0 for a cue made here
    bool textChanged = false;
    bool timesChanged = false;

    bool hasEnd() const { return endMs > startMs; }
};

// One stretch of the file: a cue, or lines that are no cue (the script's
// header and styles, a comment, a block whose times cannot be read) and are
// written back as they are.
struct SurtitlePiece {
    bool isCue = false;
    SurtitleCue cue;
    QStringList lines;
};

// A problem of the file, for the pre-show check.
struct SurtitleNote {
    int fileLine = 0;
    QString text;
    bool operator==(const SurtitleNote&) const = default;
};

struct SurtitleScript {
    SurtitleFormat format = SurtitleFormat::Srt;
    QList<SurtitlePiece> pieces;
    // ASS: the field names of the [Events] "Format:" line, lower case.
    QStringList eventFields;
    // The line end the file uses, kept when it is written back.
    QString lineEnd = QStringLiteral("\r\n");
    QList<SurtitleNote> notes;

    qsizetype cueCount() const;
};

// The text of a subtitle file, decoded as DecodeScriptText does, except that
// bytes that are well-formed UTF-8 are always UTF-8: subtitle editors write
// it, and an Italian or French file whose accents happen to look like GBK
// pairs must not turn into Chinese characters.
DecodedText DecodeSurtitleText(QByteArrayView bytes);

SurtitleScript ParseSurtitle(const QString& text, SurtitleFormat format);
// An ASS dialogue cue with the fields a new line gets under `eventFields`
// (layer and margins 0, style "Default"), to be given its times and text.
SurtitleCue NewDialogueCue(const QStringList& eventFields);
// The file as lines (without line ends); SurtitleFileText joins them with
// the file's line end after each.
QStringList SurtitleFileLines(const SurtitleScript& script);
QString SurtitleFileText(const SurtitleScript& script);

// The text a cue shows, from its text as written (lines joined with "\n").
// `<...>` tags and `{\...}` override blocks go (in ASS every `{...}` block,
// and the shapes of its drawing mode), "\N", "\n" and line breaks become one
// space between the trimmed pieces, "\h" a space, and entities are decoded.
QString CueTextShown(const QString& written, SurtitleFormat format);

// One row of the line list: a cue at its start, or the blank that follows a
// cue at its end when the next cue starts later.
struct SurtitleRow {
    qsizetype piece = -1; // the cue's piece
    bool blank = false;
    qint64 timeMs = 0;
    bool operator==(const SurtitleRow&) const = default;
};
// The rows in showing order: cues by start time (file order among equal
// starts). A cue that overlaps the next one gives way to it and has no blank.
QList<SurtitleRow> BuildSurtitleRows(const SurtitleScript& script);
// Cues that start before an earlier cue has ended, in showing order.
QList<SurtitleNote> SurtitleOverlaps(const SurtitleScript& script);

// "[mm:ss.xx]" (minutes may exceed 59), the form of the line list's time column.
QString SurtitleTag(qint64 ms);
