#pragma once

#include "documents/SubtitleDocument.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What a lyric line holds once its tags are read, and when each line of a
// script reaches the audience. The line list, the player's time table and the
// pre-show listing all read lines through here, so they cannot disagree about
// which row a time belongs to.

// One line of a lyric script.
struct LyricLine {
    enum class Kind {
        Item,   // a row of the line list (timed or not)
        Offset, // "[offset:+500]": moves every time of the script
        None,   // empty, or metadata such as [ti:], [ar:], [al:], [by:], [length:]
    };
    Kind kind = Kind::None;
    // The first time tag as written ("[01:00.07]"), empty for an untimed row.
    QString source;
    // Every leading time tag as written, with the spaces between them
    // ("[00:20.00][01:20.00]"): what an edit of the text must keep.
    QString leadingTags;
    // Every leading time tag in milliseconds as written, in the order written;
    // a negative stamp stays negative here.
    std::vector<qint64> stampsMs;
    // The text that is shown: the leading time tags and every word time tag
    // ("<00:12.34>") taken out, trimmed.
    QString text;
    // Kind::Offset only: the value in milliseconds.
    qint64 offsetMs = 0;
};

// Reads one (already trimmed) document line of a lyric script.
LyricLine ParseLyricLine(const QString& line);

// Milliseconds of a time tag such as "[01:23.45]", "[1:02:03.5]" or "[00:-03.00]":
// the fraction counts (".5" is 500 ms, ".45" 450 ms, ".123" 123 ms), a field
// that is not a number counts as 0, and the result may be negative.
qint64 TagMilliseconds(const QString& tag);

// The offset of a script: the last "[offset:...]" line, 0 when there is none.
// LRC players show lines earlier by a positive offset.
qint64 LyricOffsetMs(const QStringList& documentLines);

// One row of the line list as the audience gets it.
struct TimelineEntry {
    qsizetype item = -1;         // index of the row in the line list
    std::optional<qint64> dueMs; // when it is due on the track; nullopt: untimed
    QString text;                // the text sent to the screens

    bool operator==(const TimelineEntry&) const = default;
};

// Why a row of the line list never reaches the screens while the track plays.
enum class NeverShownReason {
    NoTimeTag,       // a timed script's row without a time tag (title, notice, advert)
    SameTimeAsLater, // another entry is due at the very same millisecond after it
};

struct NeverShownEntry {
    TimelineEntry entry;
    NeverShownReason reason = NeverShownReason::NoTimeTag;

    bool operator==(const NeverShownEntry&) const = default;
};

struct DocumentTimeline {
    // True when the rows follow the track by their time tags: a lyric script
    // with at least one stamp later than 00:00, and every subtitle file. Otherwise every row is
    // untimed and the rows are stepped through in list order (by the line
    // timer, or by the interval setting while a track plays).
    bool timed = false;
    qint64 offsetMs = 0;
    // The rows in showing order. Timed: one entry per stamp (a line with
    // several stamps appears once for each), due = stamp - offset, never
    // below 0, sorted by due time; rows due at the same time keep file order.
    // Untimed: every row once, in list order, without due time.
    QList<TimelineEntry> entries;
    // Timed scripts only: rows and stamps that never reach the screens while
    // the track plays, in list order. An untimed row can still be selected by
    // hand in the line list.
    QList<NeverShownEntry> neverShown;
};

// The timeline of the current document. `items` is its line list (as built by
// BuildLyricList or BuildSegmentedList); for lyric documents the rows are read
// from `document.lines`, which build that same list.
DocumentTimeline BuildTimeline(const SubtitleDocument& document, const LineList& items);
