#pragma once

#include "documents/SurtitleFile.h"

// The editing page's changes to a subtitle file, made through the rows of its
// line list (`rows` as BuildSurtitleRows gives them for `script`, or as
// recording left them). A cue's text or times that change are written anew
// when the file is saved; every other line of the file stays as it was.

// A new cue with `text` before row `before` (any value past the last row:
// after it). It starts one second after the row before it, at 0 when there
// is none, and lasts one second, until its time is recorded. Returns the new
// cue's piece.
qsizetype InsertCueBefore(SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype before,
                          const QString& text);

// Replaces the text of the cue that row `row` starts. Leading override blocks
// (the "{\an8}" that puts a line at the top) are kept. False for a blank row
// or no row.
bool SetCueText(SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype row,
                const QString& text);

// Removes the cue that row `row` starts. False for a blank row or no row.
bool RemoveCue(SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype row);

// Records the time `ms` for row `row`. A blank row is its cue's end. A cue
// row is the cue's start; the cue keeps its length (one second when it had
// none), and a cue shown just before it without a blank between now ends
// there. The rows keep their order and take the new times.
bool StampRow(SurtitleScript& script, QList<SurtitleRow>& rows, qsizetype row, qint64 ms);

// An imported script: every cue is replaced by one cue per non-empty line,
// one second apart from 0, each lasting until the next.
void ReplaceCuesWithLines(SurtitleScript& script, const QStringList& lines);
