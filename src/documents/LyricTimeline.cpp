#include "LyricTimeline.h"

#include "core/TextFiles.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

bool IsAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// A decimal field with an optional sign; anything else is 0. Long runs of
// digits are refused so that no sum below can overflow.
qint64 SignedField(QStringView text) {
    const qsizetype start = text.startsWith(u'-') || text.startsWith(u'+') ? 1 : 0;
    if (start == text.size() || text.size() - start > 9) {
        return 0;
    }
    for (qsizetype i = start; i < text.size(); ++i) {
        if (!IsAsciiDigit(text[i])) {
            return 0;
        }
    }
    const qint64 value = text.mid(start).toLongLong();
    return text.startsWith(u'-') ? -value : value;
}

// Hundredths are the usual fraction, but players also write tenths and
// thousandths: the digits are read as a decimal fraction of a second.
qint64 FractionMs(QStringView digits) {
    qint64 ms = 0;
    int scale = 100;
    for (qsizetype i = 0; i < digits.size() && scale > 0; ++i, scale /= 10) {
        if (!IsAsciiDigit(digits[i])) {
            return 0;
        }
        ms += (digits[i].unicode() - u'0') * scale;
    }
    return ms;
}

// Word time tags of enhanced lyrics: "<01:02.03>" before each word.
const QRegularExpression& WordTag() {
    static const QRegularExpression re(QStringLiteral("<\\d{1,4}:\\d{1,2}(?:[.:]\\d{1,3})?>"));
    return re;
}

// A time stamp after the text has begun: word timing of the enhanced form
// that puts "[mm:ss.xx]" between the words.
const QRegularExpression& InlineStamp() {
    static const QRegularExpression re(QStringLiteral("\\[\\d{1,4}:\\d{1,2}(?:[.:]\\d{1,3})?\\]"));
    return re;
}

bool StartsTimeTag(const QString& line, qsizetype at) {
    return at + 1 < line.size() && line[at] == u'[' && IsAsciiDigit(line[at + 1]);
}

// Offsets beyond an hour are typing errors; the bound keeps the arithmetic small.
constexpr qint64 kMaxOffsetMs = 3600 * 1000;

} // namespace

qint64 TagMilliseconds(const QString& tag) {
    if (tag.size() < 2) {
        return 0;
    }
    const QStringView inner = QStringView(tag).mid(1, tag.size() - 2);
    const qsizetype dot = inner.indexOf(u'.');
    const QStringView whole = dot >= 0 ? inner.left(dot) : inner;
    const QStringView fraction = dot >= 0 ? inner.mid(dot + 1) : QStringView();
    const QList<QStringView> parts = whole.split(u':');
    qint64 seconds = 0;
    if (parts.size() >= 3) {
        // Anything past a third colon makes the seconds field no number.
        const QStringView last = whole.mid(parts[0].size() + parts[1].size() + 2);
        seconds = SignedField(parts[0]) * 3600 + SignedField(parts[1]) * 60 + SignedField(last);
    } else if (parts.size() == 2) {
        seconds = SignedField(parts[0]) * 60 + SignedField(parts[1]);
    } else {
        seconds = SignedField(parts[0]);
    }
    // "[00:-03.50]" is three and a half seconds before the start, not two and a half.
    const bool negative = parts.last().startsWith(u'-');
    const qint64 fractionMs = FractionMs(fraction);
    return seconds * 1000 + (negative ? -fractionMs : fractionMs);
}

LyricLine ParseLyricLine(const QString& line) {
    LyricLine parsed;
    if (line.isEmpty()) {
        return parsed;
    }
    const qsizetype firstClose = line.startsWith(u'[') ? line.indexOf(u']') : -1;
    if (firstClose >= 0 && !StartsTimeTag(line, 0)) {
        static const QString offsetKey = QStringLiteral("[offset:");
        if (line.startsWith(offsetKey, Qt::CaseInsensitive)) {
            parsed.kind = LyricLine::Kind::Offset;
            const QString value =
                line.mid(offsetKey.size(), firstClose - offsetKey.size()).trimmed();
            parsed.offsetMs = std::clamp(SignedField(value), -kMaxOffsetMs, kMaxOffsetMs);
        }
        return parsed;
    }
    parsed.kind = LyricLine::Kind::Item;
    qsizetype rest = 0;
    if (firstClose >= 0) {
        parsed.source = line.left(firstClose + 1);
        // "[01:00.07][02:10.54]chorus": every leading stamp times the same text.
        qsizetype at = 0;
        while (StartsTimeTag(line, at)) {
            const qsizetype close = line.indexOf(u']', at);
            if (close < 0) {
                break;
            }
            parsed.stampsMs.push_back(TagMilliseconds(line.mid(at, close - at + 1)));
            rest = close + 1;
            at = rest;
            while (at < line.size() && line[at] == u' ') {
                ++at;
            }
        }
    }
    parsed.leadingTags = line.left(rest);
    // Word timing never reaches the screens: "<mm:ss.xx>" before each word,
    // or (the other enhanced form) stamps between the words. The spaces the
    // tags stood between close up to one.
    QString text = line.mid(rest);
    const qsizetype length = text.size();
    text.remove(WordTag());
    text.remove(InlineStamp());
    if (text.size() != length) {
        static const QRegularExpression runOfSpaces(QStringLiteral(" {2,}"));
        text.replace(runOfSpaces, QStringLiteral(" "));
    }
    parsed.text = TrimControl(text);
    return parsed;
}

qint64 LyricOffsetMs(const QStringList& documentLines) {
    qint64 offset = 0;
    for (const QString& line : documentLines) {
        const LyricLine parsed = ParseLyricLine(line);
        if (parsed.kind == LyricLine::Kind::Offset) {
            offset = parsed.offsetMs;
        }
    }
    return offset;
}

DocumentTimeline BuildTimeline(const SubtitleDocument& document, const LineList& items) {
    DocumentTimeline timeline;
    std::vector<LyricLine> rows;
    if (document.kind == DocumentKind::Surtitle) {
        // Every row has its time: a cue at its start, a blank at its end.
        for (qsizetype i = 0; i < items.size(); ++i) {
            LyricLine row;
            row.kind = LyricLine::Kind::Item;
            row.stampsMs.push_back(TagMilliseconds(items[i].Source));
            row.text = items[i].Text;
            rows.push_back(std::move(row));
        }
        timeline.timed = true;
    } else if (document.kind == DocumentKind::Lyric) {
        for (const QString& line : document.lines) {
            LyricLine parsed = ParseLyricLine(line);
            if (parsed.kind == LyricLine::Kind::Offset) {
                timeline.offsetMs = parsed.offsetMs;
            } else if (parsed.kind == LyricLine::Kind::Item) {
                rows.push_back(std::move(parsed));
            }
        }
        timeline.timed = std::any_of(rows.begin(), rows.end(), [](const LyricLine& row) {
            return std::any_of(row.stampsMs.begin(), row.stampsMs.end(),
                               [](qint64 ms) { return ms > 0; });
        });
    }
    if (!timeline.timed) {
        for (qsizetype i = 0; i < items.size(); ++i) {
            timeline.entries.append({i, std::nullopt, items[i].Text});
        }
        return timeline;
    }

    QList<TimelineEntry> timed;
    for (qsizetype i = 0; i < qsizetype(rows.size()); ++i) {
        const LyricLine& row = rows[size_t(i)];
        if (row.stampsMs.empty()) {
            timeline.neverShown.append({{i, std::nullopt, row.text}, NeverShownReason::NoTimeTag});
        }
        for (qint64 stamp : row.stampsMs) {
            // Nothing can be shown before the track starts.
            timed.append({i, std::max<qint64>(stamp - timeline.offsetMs, 0), row.text});
        }
    }
    std::stable_sort(
        timed.begin(), timed.end(),
        [](const TimelineEntry& a, const TimelineEntry& b) { return *a.dueMs < *b.dueMs; });
    for (qsizetype k = 0; k < timed.size(); ++k) {
        // Of several rows due at once the player shows the last one only.
        if (k + 1 < timed.size() && *timed[k + 1].dueMs == *timed[k].dueMs) {
            timeline.neverShown.append({timed[k], NeverShownReason::SameTimeAsLater});
        } else {
            timeline.entries.append(timed[k]);
        }
    }
    std::stable_sort(timeline.neverShown.begin(), timeline.neverShown.end(),
                     [](const NeverShownEntry& a, const NeverShownEntry& b) {
                         return a.entry.item < b.entry.item;
                     });
    return timeline;
}
