#include "SurtitleEditing.h"

#include "core/TextFiles.h"

#include <algorithm>
#include <optional>

namespace {

constexpr qint64 kStepMs = 1000;

bool IsCueRow(const SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype row) {
    return row >= 0 && row < rows.size() && !rows[row].blank && rows[row].piece >= 0 &&
           rows[row].piece < script.pieces.size() && script.pieces[rows[row].piece].isCue;
}

// The override blocks a written text starts with: "{\an8}" in either format,
// any "{...}" in ASS.
QString LeadingOverrides(const QString& written, SurtitleFormat format) {
    qsizetype at = 0;
    while (at < written.size() && written[at] == u'{') {
        const qsizetype close = written.indexOf(u'}', at);
        const bool override = at + 1 < written.size() && written[at + 1] == u'\\';
        if (close < 0 || (!override && format != SurtitleFormat::Ass)) {
            break;
        }
        at = close + 1;
    }
    return written.left(at);
}

void WriteText(SurtitleScript& script, SurtitleCue& cue, const QString& text) {
    const QString prefix = LeadingOverrides(cue.textLines.value(0), script.format);
    QString written = prefix + TrimControl(text);
    if (script.format == SurtitleFormat::Srt) {
        // A line with an arrow is read as the times of a new cue; the
        // entity shows the same and keeps the cue whole.
        written.replace(QStringLiteral("-->"), QStringLiteral("--&gt;"));
    }
    cue.textLines = written.isEmpty() && script.format == SurtitleFormat::Srt
                        ? QStringList()
                        : QStringList{written};
    cue.text = CueTextShown(written, script.format);
    cue.textChanged = true;
}

// Where a cue with nothing before it goes: before the first cue; in an ASS
// file without cues at the end of its [Events] section (made when missing).
qsizetype FirstCuePosition(SurtitleScript& script) {
    for (qsizetype p = 0; p < script.pieces.size(); ++p) {
        if (script.pieces[p].isCue) {
            return p;
        }
    }
    if (script.format == SurtitleFormat::Srt) {
        return script.pieces.size();
    }
    for (qsizetype p = 0; p < script.pieces.size(); ++p) {
        QStringList& lines = script.pieces[p].lines;
        // The last section of events: the Format line in force at its end
        // is the one the script keeps.
        qsizetype events = -1;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (TrimControl(lines[i]).compare(QStringLiteral("[Events]"), Qt::CaseInsensitive) ==
                0) {
                events = i;
            }
        }
        if (events < 0) {
            continue;
        }
        qsizetype next = events + 1;
        const auto isHeader = [](const QString& line) {
            const QString t = TrimControl(line);
            return t.startsWith(u'[') && t.endsWith(u']');
        };
        while (next < lines.size() && !isHeader(lines[next])) {
            ++next;
        }
        // Blank lines at the end of the section stay after the new cue.
        while (next > events + 1 && TrimControl(lines[next - 1]).isEmpty()) {
            --next;
        }
        if (next == lines.size()) {
            return p + 1;
        }
        SurtitlePiece rest{false, {}, lines.mid(next)};
        lines = lines.mid(0, next);
        script.pieces.insert(p + 1, rest);
        return p + 1;
    }
    script.pieces.append(
        {false,
         {},
         {QString(), QStringLiteral("[Events]"),
          QStringLiteral("Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                         "Effect, Text")}});
    script.eventFields = {QStringLiteral("layer"),   QStringLiteral("start"),
                          QStringLiteral("end"),     QStringLiteral("style"),
                          QStringLiteral("name"),    QStringLiteral("marginl"),
                          QStringLiteral("marginr"), QStringLiteral("marginv"),
                          QStringLiteral("effect"),  QStringLiteral("text")};
    return script.pieces.size();
}

// A cue made here, shaped like `like` (an ASS cue's style and margins) when given.
SurtitlePiece NewCue(const SurtitleScript& script, const SurtitleCue* like, qint64 startMs,
                     qint64 endMs) {
    SurtitlePiece piece;
    piece.isCue = true;
    SurtitleCue& cue = piece.cue;
    if (script.format == SurtitleFormat::Ass) {
        cue = NewDialogueCue(script.eventFields);
        if (like) {
            cue.key = like->key;
            cue.fields = like->fields;
            cue.startField = like->startField;
            cue.endField = like->endField;
        }
    }
    cue.startMs = startMs;
    cue.endMs = endMs;
    cue.textChanged = true;
    cue.timesChanged = true;
    return piece;
}

qsizetype InsertCueAt(SurtitleScript& script, qsizetype afterPiece, qint64 startMs, qint64 endMs,
                      const QString& text) {
    const SurtitleCue* like = afterPiece >= 0 && script.pieces[afterPiece].isCue
                                  ? &script.pieces[afterPiece].cue
                                  : nullptr;
    SurtitlePiece piece = NewCue(script, like, startMs, endMs);
    const qsizetype at = afterPiece >= 0 ? afterPiece + 1 : FirstCuePosition(script);
    if (!like && script.format == SurtitleFormat::Ass && at < script.pieces.size() &&
        script.pieces[at].isCue) {
        // Before the first cue: its style is the file's own.
        const SurtitleCue& first = script.pieces[at].cue;
        piece.cue.key = first.key;
        piece.cue.fields = first.fields;
        piece.cue.startField = first.startField;
        piece.cue.endField = first.endField;
    }
    WriteText(script, piece.cue, text);
    script.pieces.insert(at, piece);
    return at;
}

} // namespace

qsizetype InsertCueBefore(SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype before,
                          const QString& text) {
    const qsizetype at = std::clamp<qsizetype>(before, 0, rows.size());
    const qint64 start = at > 0 ? rows[at - 1].timeMs + kStepMs : 0;
    const qsizetype afterPiece = at > 0 ? rows[at - 1].piece : -1;
    return InsertCueAt(script, afterPiece, start, start + kStepMs, text);
}

bool SetCueText(SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype row,
                const QString& text) {
    if (!IsCueRow(script, rows, row)) {
        return false;
    }
    WriteText(script, script.pieces[rows[row].piece].cue, text);
    return true;
}

bool RemoveCue(SurtitleScript& script, const QList<SurtitleRow>& rows, qsizetype row) {
    if (!IsCueRow(script, rows, row)) {
        return false;
    }
    script.pieces.removeAt(rows[row].piece);
    return true;
}

bool StampRow(SurtitleScript& script, QList<SurtitleRow>& rows, qsizetype row, qint64 ms) {
    if (row < 0 || row >= rows.size() || rows[row].piece < 0 ||
        rows[row].piece >= script.pieces.size() || !script.pieces[rows[row].piece].isCue) {
        return false;
    }
    const qint64 at = std::max<qint64>(ms, 0);
    SurtitleCue& cue = script.pieces[rows[row].piece].cue;
    if (rows[row].blank) {
        cue.endMs = at;
    } else {
        const qint64 length = cue.hasEnd() ? cue.endMs - cue.startMs : kStepMs;
        cue.startMs = at;
        cue.endMs = at + length;
        if (row > 0 && !rows[row - 1].blank && rows[row - 1].piece != rows[row].piece) {
            SurtitleCue& before = script.pieces[rows[row - 1].piece].cue;
            before.endMs = at;
            before.timesChanged = true;
        }
    }
    cue.timesChanged = true;
    for (SurtitleRow& r : rows) {
        const SurtitleCue& c = script.pieces[r.piece].cue;
        r.timeMs = r.blank ? c.endMs : c.startMs;
    }
    return true;
}

void ReplaceCuesWithLines(SurtitleScript& script, const QStringList& lines) {
    std::optional<SurtitleCue> like;
    qsizetype at = -1;
    for (qsizetype p = script.pieces.size() - 1; p >= 0; --p) {
        if (script.pieces[p].isCue) {
            like = script.pieces[p].cue;
            at = p;
            script.pieces.removeAt(p);
        }
    }
    if (at < 0) {
        at = FirstCuePosition(script);
    }
    qint64 start = 0;
    for (const QString& line : lines) {
        if (TrimControl(line).isEmpty()) {
            continue;
        }
        SurtitlePiece piece = NewCue(script, like ? &*like : nullptr, start, start + kStepMs);
        WriteText(script, piece.cue, line);
        script.pieces.insert(at++, piece);
        start += kStepMs;
    }
}
