#include "LineBuilding.h"

#include "core/TextFiles.h"
#include "documents/LyricTimeline.h"

#include <QStringDecoder>

#include <algorithm>
#include <climits>

namespace {

bool IsAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// The leading time tag of a line: "[" followed by a digit, up to the first "]".
bool StartsWithTag(const QString& line, qsizetype* close) {
    if (!line.startsWith(u'[')) {
        return false;
    }
    *close = line.indexOf(u']');
    return *close >= 0;
}

// A strict decimal field of a time tag: optional sign and digits only.
qint64 DecimalField(const QString& text) {
    const qsizetype start = text.startsWith(u'-') || text.startsWith(u'+') ? 1 : 0;
    if (start == text.size() || text.size() - start > 12) {
        return 0;
    }
    for (qsizetype i = start; i < text.size(); ++i) {
        if (!IsAsciiDigit(text[i])) {
            return 0;
        }
    }
    return text.toLongLong();
}

QString TwoDigits(int value) {
    return value < 10 ? QLatin1Char('0') + QString::number(value) : QString::number(value);
}

} // namespace

LineList BuildSegmentedList(const QStringList& lines, const TTextCommon& text) {
    LineList items;
    if (text.AutoPara == 0) {
        items.reserve(lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            items.append({QString::number(i + 1), lines[i], QString::number(i)});
        }
        return items;
    }

    // A non-positive length would never shorten the rest; one character per
    // segment is the least that still makes progress.
    const qsizetype n = std::max<qsizetype>(2 * qsizetype(text.ParaLen), 2);
    auto add = [&](QString segment, qsizetype line) {
        items.append(
            {QString::number(items.size() + 1), std::move(segment), QString::number(line)});
    };
    // Cut by the GBK width of each character, never by re-decoding bytes, so a
    // character GBK lacks reaches the screens as itself and not as '?'.
    for (qsizetype j = 0; j < lines.size(); ++j) {
        const QStringList pieces = SplitByGbkWidth(lines[j], n);
        if (pieces.isEmpty()) {
            add(QString(), j);
            continue;
        }
        for (const QString& piece : pieces) {
            add(piece, j);
        }
    }
    return items;
}

LineList BuildLyricList(const QStringList& lines) {
    LineList items;
    for (const QString& line : lines) {
        const LyricLine parsed = ParseLyricLine(line);
        if (parsed.kind == LyricLine::Kind::Item) {
            items.append({QString::number(items.size() + 1), parsed.text, parsed.source});
        }
    }
    return items;
}

qsizetype LyricLineOfItem(const QStringList& lines, qsizetype item) {
    if (item < 0) {
        return -1;
    }
    qsizetype row = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (ParseLyricLine(lines[i]).kind != LyricLine::Kind::Item) {
            continue;
        }
        if (row == item) {
            return i;
        }
        ++row;
    }
    return -1;
}

QStringList ApplyLyricFilter(const QStringList& fileLines) {
    QStringList kept;
    QStringList offsets;
    for (const QString& raw : fileLines) {
        const QString line = TrimControl(raw);
        if (line.isEmpty()) {
            continue;
        }
        qsizetype close = -1;
        if (!StartsWithTag(line, &close) || (line.size() > 1 && IsAsciiDigit(line[1]))) {
            kept.append(line);
        } else if (ParseLyricLine(line).kind == LyricLine::Kind::Offset) {
            offsets.append(line);
        }
    }
    // The offset moves every line of the song, so it stays with the script
    // (and is saved back with it). It goes after the rows: rows and document
    // lines keep the same index, which time stamping relies on.
    return kept + offsets;
}

namespace {

// The fields of a tag: without its brackets, cut at the first ".", split at
// ":" into at most three (anything past the second colon stays in the third).
QStringList TagFields(const QString& tag) {
    if (tag.size() < 2) {
        return {};
    }
    QString inner = tag.mid(1, tag.size() - 2);
    const qsizetype dot = inner.indexOf(u'.');
    if (dot >= 0) {
        inner.truncate(dot);
    }
    const QStringList parts = inner.split(u':');
    QStringList fields = parts.mid(0, 2);
    if (parts.size() > 2) {
        fields.append(parts.mid(2).join(u':'));
    }
    return fields;
}

} // namespace

int TagSeconds(const QString& tag) {
    const QStringList fields = TagFields(tag);
    qint64 seconds = 0;
    if (fields.size() == 3) {
        seconds =
            DecimalField(fields[0]) * 3600 + DecimalField(fields[1]) * 60 + DecimalField(fields[2]);
    } else if (fields.size() == 2) {
        seconds = DecimalField(fields[0]) * 60 + DecimalField(fields[1]);
    } else if (fields.size() == 1) {
        seconds = DecimalField(fields[0]);
    }
    return static_cast<int>(std::clamp<qint64>(seconds, INT_MIN, INT_MAX));
}

int TagSecondsField(const QString& tag) {
    const QStringList fields = TagFields(tag);
    if (fields.isEmpty()) {
        return 0;
    }
    return static_cast<int>(std::clamp<qint64>(DecimalField(fields.last()), INT_MIN, INT_MAX));
}

QString FormatTimeTag(int seconds) {
    const int s = std::max(seconds, 0);
    return QLatin1Char('[') + TwoDigits(s / 60) + QLatin1Char(':') + TwoDigits(s % 60) +
           QStringLiteral(".00]");
}
