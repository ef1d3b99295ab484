#include "SurtitleFile.h"

#include "core/TextFiles.h"

#include <algorithm>
#include <optional>

namespace {

bool IsAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool AllDigits(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsAsciiDigit);
}

// A clock value: "1:02:03,456", "01:02:03.5", "02:03,4" or "0:00:01.00".
// Hours are optional, the fraction is read as a decimal fraction of a second
// and may use a comma or a period. nullopt for anything else.
std::optional<qint64> ParseClock(QStringView text) {
    text = text.trimmed();
    qsizetype separator = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u',' || text[i] == u'.') {
            separator = i;
            break;
        }
    }
    const QStringView whole = separator >= 0 ? text.left(separator) : text;
    const QStringView fraction = separator >= 0 ? text.mid(separator + 1) : QStringView();
    const QList<QStringView> fields = whole.split(u':');
    if (fields.size() < 2 || fields.size() > 3) {
        return std::nullopt;
    }
    qint64 seconds = 0;
    for (const QStringView field : fields) {
        // Nine digits keep every sum far from overflowing.
        if (!AllDigits(field) || field.size() > 9) {
            return std::nullopt;
        }
        seconds = seconds * 60 + field.toLongLong();
    }
    if (!fraction.isEmpty() && !AllDigits(fraction)) {
        return std::nullopt;
    }
    qint64 ms = 0;
    int scale = 100;
    for (qsizetype i = 0; i < fraction.size() && scale > 0; ++i, scale /= 10) {
        ms += (fraction[i].unicode() - u'0') * scale;
    }
    return seconds * 1000 + ms;
}

QString Padded(qint64 value, int width) {
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QString SrtClock(qint64 ms) {
    return Padded(ms / 3600000, 2) + u':' + Padded(ms / 60000 % 60, 2) + u':' +
           Padded(ms / 1000 % 60, 2) + u',' + Padded(ms % 1000, 3);
}

QString AssClock(qint64 ms) {
    return QString::number(ms / 3600000) + u':' + Padded(ms / 60000 % 60, 2) + u':' +
           Padded(ms / 1000 % 60, 2) + u'.' + Padded(ms / 10 % 100, 2);
}

QString LineEndOf(const QString& text) {
    const qsizetype at = [&] {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u'\r' || text[i] == u'\n') {
                return i;
            }
        }
        return qsizetype(-1);
    }();
    if (at < 0) {
        return QStringLiteral("\r\n");
    }
    if (text[at] == u'\n') {
        return QStringLiteral("\n");
    }
    return at + 1 < text.size() && text[at + 1] == u'\n' ? QStringLiteral("\r\n")
                                                         : QStringLiteral("\r");
}

QStringList FileLinesOf(const QString& text) {
    // A mark the decoder left (a second one, or one in the middle of a
    // concatenated file) is no character of the first line.
    QString body = text;
    while (body.startsWith(QChar(0xFEFF))) {
        body.remove(0, 1);
    }
    return SplitLines(body);
}

// ---- SRT

bool IsTimingLine(QStringView line) {
    return line.contains(QStringLiteral("-->"));
}

bool IsNumberLine(QStringView line) {
    return AllDigits(line.trimmed());
}

struct Times {
    qint64 start = 0;
    qint64 end = 0;
};

std::optional<Times> ParseSrtTiming(QStringView line) {
    const qsizetype arrow = line.indexOf(QStringLiteral("-->"));
    if (arrow < 0) {
        return std::nullopt;
    }
    // Position hints ("X1:40 X2:600 ...") may follow the end time.
    const QStringView right = line.mid(arrow + 3).trimmed();
    qsizetype endOfTime = 0;
    while (endOfTime < right.size() && !right[endOfTime].isSpace()) {
        ++endOfTime;
    }
    const std::optional<qint64> start = ParseClock(line.left(arrow));
    const std::optional<qint64> end = ParseClock(right.left(endOfTime));
    if (!start || !end) {
        return std::nullopt;
    }
    return Times{*start, *end};
}

QString Quoted(const QString& line) {
    return QStringLiteral("\"") + TrimControl(line) + QStringLiteral("\"");
}

void NoteEnd(SurtitleScript& script, const SurtitleCue& cue) {
    if (!cue.hasEnd()) {
        script.notes.append({cue.fileLine, QStringLiteral("the cue does not end after it starts; "
                                                          "it stays until the next cue")});
    }
}

void ParseSrt(SurtitleScript& script, const QStringList& lines) {
    const qsizetype n = lines.size();
    const auto startsCue = [&](qsizetype i) {
        return IsTimingLine(lines[i]) ||
               (IsNumberLine(lines[i]) && i + 1 < n && IsTimingLine(lines[i + 1]));
    };
    QStringList stray;
    int strayLine = 0;
    const auto flushStray = [&] {
        if (!stray.isEmpty()) {
            script.pieces.append({false, {}, stray});
            stray.clear();
        }
    };
    qsizetype i = 0;
    bool afterText = false; // the line before was text of a cue, with no blank line between
    while (i < n) {
        if (TrimControl(lines[i]).isEmpty()) {
            flushStray();
            afterText = false;
            ++i;
            continue;
        }
        if (!startsCue(i)) {
            if (stray.isEmpty()) {
                strayLine = int(i + 1);
                script.notes.append({strayLine, QStringLiteral("text outside any cue is not "
                                                               "shown: ") +
                                                    Quoted(lines[i])});
            }
            stray.append(lines[i]);
            ++i;
            continue;
        }
        flushStray();
        const int firstLine = int(i + 1);
        if (afterText) {
            script.notes.append({firstLine, QStringLiteral("no blank line before this cue")});
        }
        QStringList block;
        if (!IsTimingLine(lines[i])) {
            block.append(lines[i]); // the number
            ++i;
        } else {
            script.notes.append({firstLine, QStringLiteral("the cue has no number")});
        }
        const QString timing = lines[i];
        block.append(timing);
        const int timingLine = int(i + 1);
        ++i;
        QStringList text;
        afterText = false;
        while (i < n && !TrimControl(lines[i]).isEmpty()) {
            if (startsCue(i)) {
                afterText = true;
                break;
            }
            text.append(lines[i]);
            ++i;
        }
        const std::optional<Times> times = ParseSrtTiming(timing);
        if (!times) {
            script.notes.append({timingLine, QStringLiteral("the times cannot be read, the cue is "
                                                            "not shown: ") +
                                                 Quoted(timing)});
            script.pieces.append({false, {}, block + text});
            continue;
        }
        SurtitlePiece piece;
        piece.isCue = true;
        SurtitleCue& cue = piece.cue;
        cue.startMs = times->start;
        cue.endMs = times->end;
        cue.timing = timing;
        cue.textLines = text;
        cue.text = CueTextShown(text.join(u'\n'), SurtitleFormat::Srt);
        cue.fileLine = firstLine;
        NoteEnd(script, cue);
        piece.lines = block + text;
        script.pieces.append(std::move(piece));
    }
    flushStray();
}

QStringList WriteSrt(const SurtitleScript& script) {
    QStringList out;
    int number = 0;
    for (const SurtitlePiece& piece : script.pieces) {
        if (piece.isCue) {
            const SurtitleCue& cue = piece.cue;
            out.append(QString::number(++number));
            out.append(cue.timesChanged || cue.timing.isEmpty()
                           ? SrtClock(cue.startMs) + QStringLiteral(" --> ") + SrtClock(cue.endMs)
                           : cue.timing);
            out.append(cue.textLines);
        } else if (piece.lines.size() >= 2 && IsNumberLine(piece.lines[0]) &&
                   IsTimingLine(piece.lines[1])) {
            // A cue whose times cannot be read is still a cue to the
            // translator: it keeps its place in the numbering.
            out.append(QString::number(++number));
            out.append(piece.lines.mid(1));
        } else {
            out.append(piece.lines);
        }
        out.append(QString());
    }
    return out;
}

// ---- ASS

const QStringList& DefaultEventFields() {
    static const QStringList fields{QStringLiteral("layer"),   QStringLiteral("start"),
                                    QStringLiteral("end"),     QStringLiteral("style"),
                                    QStringLiteral("name"),    QStringLiteral("marginl"),
                                    QStringLiteral("marginr"), QStringLiteral("marginv"),
                                    QStringLiteral("effect"),  QStringLiteral("text")};
    return fields;
}

struct EventLayout {
    QStringList names; // the field names in force, the text last
    qsizetype fieldsBeforeText = 9;
    qsizetype start = 1;
    qsizetype end = 2;
};

// A Format line without both times before the text cannot place a cue; the
// standard fields stand in for it.
EventLayout LayoutOf(const QStringList& eventFields) {
    EventLayout layout;
    const qsizetype start = eventFields.indexOf(QStringLiteral("start"));
    const qsizetype end = eventFields.indexOf(QStringLiteral("end"));
    const qsizetype beforeText = eventFields.size() - 1;
    if (start >= 0 && start < beforeText && end >= 0 && end < beforeText) {
        layout.names = eventFields;
        layout.fieldsBeforeText = beforeText;
        layout.start = start;
        layout.end = end;
    } else {
        layout.names = DefaultEventFields();
    }
    return layout;
}

// The key of an [Events] line ("dialogue", "comment", "format"), lower case;
// `valueAt` is where its value starts, after the colon and any spaces.
QString EventKey(const QString& line, qsizetype* valueAt) {
    const qsizetype colon = line.indexOf(u':');
    if (colon < 0) {
        return QString();
    }
    qsizetype at = colon + 1;
    while (at < line.size() && (line[at] == u' ' || line[at] == u'\t')) {
        ++at;
    }
    *valueAt = at;
    return TrimControl(line.left(colon)).toLower();
}

bool IsSectionHeader(const QString& line) {
    const QString t = TrimControl(line);
    return t.startsWith(u'[') && t.endsWith(u']');
}

void ParseAss(SurtitleScript& script, const QStringList& lines) {
    script.eventFields = DefaultEventFields();
    QString section;
    QStringList plain;
    const auto flushPlain = [&] {
        if (!plain.isEmpty()) {
            script.pieces.append({false, {}, plain});
            plain.clear();
        }
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const int lineNumber = int(i + 1);
        if (IsSectionHeader(line)) {
            section = TrimControl(line).toLower();
            plain.append(line);
            continue;
        }
        qsizetype valueAt = 0;
        const QString key = EventKey(line, &valueAt);
        const bool inEvents = section == QLatin1String("[events]");
        if (inEvents && key == QLatin1String("format")) {
            QStringList names;
            for (const QString& name : line.mid(valueAt).split(u',')) {
                names.append(TrimControl(name).toLower());
            }
            script.eventFields = names;
            plain.append(line);
            continue;
        }
        if (key != QLatin1String("dialogue")) {
            plain.append(line);
            continue;
        }
        if (!inEvents) {
            script.notes.append({lineNumber, QStringLiteral("a dialogue line outside the [Events] "
                                                            "section is not shown")});
            plain.append(line);
            continue;
        }
        const EventLayout layout = LayoutOf(script.eventFields);
        // Every field but the last is cut at a comma; the text is the rest of
        // the line, commas and all.
        QStringList fields;
        qsizetype at = valueAt;
        while (fields.size() < layout.fieldsBeforeText) {
            const qsizetype comma = line.indexOf(u',', at);
            if (comma < 0) {
                break;
            }
            fields.append(line.mid(at, comma - at));
            at = comma + 1;
        }
        const std::optional<qint64> start = fields.size() == layout.fieldsBeforeText
                                                ? ParseClock(fields[layout.start])
                                                : std::nullopt;
        const std::optional<qint64> end = fields.size() == layout.fieldsBeforeText
                                              ? ParseClock(fields[layout.end])
                                              : std::nullopt;
        if (fields.size() < layout.fieldsBeforeText) {
            script.notes.append({lineNumber, QStringLiteral("the dialogue line has too few fields, "
                                                            "it is not shown")});
            plain.append(line);
            continue;
        }
        if (!start || !end) {
            script.notes.append({lineNumber, QStringLiteral("the times cannot be read, the cue is "
                                                            "not shown: ") +
                                                 Quoted(line)});
            plain.append(line);
            continue;
        }
        flushPlain();
        SurtitlePiece piece;
        piece.isCue = true;
        SurtitleCue& cue = piece.cue;
        cue.startMs = *start;
        cue.endMs = *end;
        cue.key = line.left(valueAt);
        cue.fields = fields;
        cue.startField = int(layout.start);
        cue.endField = int(layout.end);
        cue.textLines = QStringList{line.mid(at)};
        cue.text = CueTextShown(line.mid(at), SurtitleFormat::Ass);
        cue.fileLine = lineNumber;
        NoteEnd(script, cue);
        piece.lines = QStringList{line};
        script.pieces.append(std::move(piece));
    }
    flushPlain();
}

QStringList WriteAss(const SurtitleScript& script) {
    QStringList out;
    for (const SurtitlePiece& piece : script.pieces) {
        const SurtitleCue& cue = piece.cue;
        if (!piece.isCue || (!cue.textChanged && !cue.timesChanged && !piece.lines.isEmpty())) {
            out.append(piece.lines);
            continue;
        }
        QStringList fields = cue.fields;
        while (fields.size() <= std::max(cue.startField, cue.endField)) {
            fields.append(QString());
        }
        if (cue.timesChanged || cue.fileLine == 0) {
            // The format has no way to say "until the next cue": such a cue
            // is written as ending where it starts, which reads back the same.
            fields[cue.startField] = AssClock(cue.startMs);
            fields[cue.endField] = AssClock(std::max(cue.endMs, cue.startMs));
        }
        const QString key = cue.key.isEmpty() ? QStringLiteral("Dialogue: ") : cue.key;
        out.append(key + fields.join(u',') + u',' + cue.textLines.value(0));
    }
    return out;
}

// ---- text of a cue

bool StartsHtmlTag(const QString& text, qsizetype at) {
    if (at + 1 >= text.size()) {
        return false;
    }
    const QChar next = text[at + 1];
    const QChar afterSlash = at + 2 < text.size() ? text[at + 2] : QChar();
    const auto isLetter = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    };
    return isLetter(next) || (next == u'/' && isLetter(afterSlash));
}

// Where the drawing mode of an override block is switched: "\p1" starts
// shapes that are no text, "\p0" ends them. -1 when the block leaves it.
int DrawingSwitch(QStringView block) {
    int mode = -1;
    // "\pos" and "\pbo" are other tags: only a digit after "\p" switches.
    for (qsizetype i = 0; i + 2 < block.size(); ++i) {
        if (block[i] == u'\\' && block[i + 1] == u'p' && IsAsciiDigit(block[i + 2])) {
            mode = block[i + 2] == u'0' ? 0 : 1;
        }
    }
    return mode;
}

QString DecodeEntities(const QString& text) {
    if (!text.contains(u'&')) {
        return text;
    }
    static const std::pair<const char*, char16_t> kNamed[] = {
        {"amp", u'&'}, {"lt", u'<'}, {"gt", u'>'}, {"quot", u'"'}, {"apos", u'\''}, {"nbsp", u' '},
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            out += text[i];
            continue;
        }
        const qsizetype semicolon = text.indexOf(u';', i + 1);
        if (semicolon < 0 || semicolon - i > 10) {
            out += text[i];
            continue;
        }
        const QString name = text.mid(i + 1, semicolon - i - 1);
        std::optional<char32_t> decoded;
        if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint value = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            // Controls, surrogates and what lies beyond Unicode are no characters to show.
            if (ok && value >= 32 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
                decoded = value;
            }
        } else {
            for (const auto& [entity, character] : kNamed) {
                if (name == QLatin1String(entity)) {
                    decoded = character;
                }
            }
        }
        if (!decoded) {
            out += text[i];
            continue;
        }
        const char32_t character = *decoded;
        out += QString::fromUcs4(&character, 1);
        i = semicolon;
    }
    return out;
}

} // namespace

bool IsSurtitlePath(const QString& path) {
    return path.endsWith(QStringLiteral(".srt"), Qt::CaseInsensitive) ||
           path.endsWith(QStringLiteral(".ass"), Qt::CaseInsensitive) ||
           path.endsWith(QStringLiteral(".ssa"), Qt::CaseInsensitive);
}

SurtitleFormat SurtitleFormatOfPath(const QString& path) {
    return path.endsWith(QStringLiteral(".srt"), Qt::CaseInsensitive) ? SurtitleFormat::Srt
                                                                      : SurtitleFormat::Ass;
}

qsizetype SurtitleScript::cueCount() const {
    return std::count_if(pieces.begin(), pieces.end(),
                         [](const SurtitlePiece& piece) { return piece.isCue; });
}

DecodedText DecodeSurtitleText(QByteArrayView bytes) {
    DecodedText decoded = DecodeScriptText(bytes);
    const bool highBytes = std::any_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (decoded.encoding == TextEncoding::Gbk && highBytes && IsStrictUtf8(bytes)) {
        return {QString::fromUtf8(bytes), TextEncoding::Utf8};
    }
    return decoded;
}

SurtitleScript ParseSurtitle(const QString& text, SurtitleFormat format) {
    SurtitleScript script;
    script.format = format;
    script.lineEnd = LineEndOf(text);
    const QStringList lines = FileLinesOf(text);
    if (format == SurtitleFormat::Srt) {
        ParseSrt(script, lines);
    } else {
        ParseAss(script, lines);
    }
    return script;
}

SurtitleCue NewDialogueCue(const QStringList& eventFields) {
    const EventLayout layout = LayoutOf(eventFields);
    const QStringList& names = layout.names;
    SurtitleCue cue;
    cue.key = QStringLiteral("Dialogue: ");
    for (qsizetype i = 0; i < layout.fieldsBeforeText; ++i) {
        const QString& name = names[i];
        if (name == QLatin1String("layer") || name.startsWith(QLatin1String("margin"))) {
            cue.fields.append(QStringLiteral("0"));
        } else if (name == QLatin1String("marked")) {
            cue.fields.append(QStringLiteral("Marked=0"));
        } else if (name == QLatin1String("style")) {
            cue.fields.append(QStringLiteral("Default"));
        } else {
            cue.fields.append(QString());
        }
    }
    cue.startField = int(layout.start);
    cue.endField = int(layout.end);
    return cue;
}

QStringList SurtitleFileLines(const SurtitleScript& script) {
    return script.format == SurtitleFormat::Srt ? WriteSrt(script) : WriteAss(script);
}

QString SurtitleFileText(const SurtitleScript& script) {
    QString text;
    for (const QString& line : SurtitleFileLines(script)) {
        text += line;
        text += script.lineEnd;
    }
    return text;
}

QString CueTextShown(const QString& written, SurtitleFormat format) {
    QStringList pieces;
    QString current;
    bool drawing = false;
    const qsizetype size = written.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = written[i];
        if (c == u'\n' || c == u'\r') {
            pieces.append(current);
            current.clear();
            continue;
        }
        if (c == u'{') {
            const qsizetype close = written.indexOf(u'}', i + 1);
            const bool override = i + 1 < size && written[i + 1] == u'\\';
            if (close >= 0 && (override || format == SurtitleFormat::Ass)) {
                const int mode = DrawingSwitch(QStringView(written).mid(i + 1, close - i - 1));
                if (mode >= 0) {
                    drawing = mode == 1;
                }
                i = close;
                continue;
            }
        }
        if (c == u'<' && StartsHtmlTag(written, i)) {
            const qsizetype close = written.indexOf(u'>', i + 1);
            const qsizetype reopen = written.indexOf(u'<', i + 1);
            if (close >= 0 && (reopen < 0 || reopen > close)) {
                i = close;
                continue;
            }
        }
        if (c == u'\\' && i + 1 < size) {
            const QChar next = written[i + 1];
            if (next == u'N' || next == u'n') {
                pieces.append(current);
                current.clear();
                ++i;
                continue;
            }
            if (next == u'h') {
                if (!drawing) {
                    current += u' ';
                }
                ++i;
                continue;
            }
        }
        if (!drawing) {
            current += c;
        }
    }
    pieces.append(current);
    QStringList kept;
    for (const QString& piece : pieces) {
        const QString shown = TrimControl(DecodeEntities(piece));
        if (!shown.isEmpty()) {
            kept.append(shown);
        }
    }
    return kept.join(u' ');
}

namespace {

// The cue pieces in showing order: by start, file order among equal starts.
QList<qsizetype> CuesByStart(const SurtitleScript& script) {
    QList<qsizetype> order;
    for (qsizetype p = 0; p < script.pieces.size(); ++p) {
        if (script.pieces[p].isCue) {
            order.append(p);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return script.pieces[a].cue.startMs < script.pieces[b].cue.startMs;
    });
    return order;
}

} // namespace

QList<SurtitleRow> BuildSurtitleRows(const SurtitleScript& script) {
    const QList<qsizetype> order = CuesByStart(script);
    QList<SurtitleRow> rows;
    for (qsizetype k = 0; k < order.size(); ++k) {
        const SurtitleCue& cue = script.pieces[order[k]].cue;
        rows.append({order[k], false, cue.startMs});
        const bool nextLater =
            k + 1 == order.size() || script.pieces[order[k + 1]].cue.startMs > cue.endMs;
        if (cue.hasEnd() && nextLater) {
            rows.append({order[k], true, cue.endMs});
        }
    }
    return rows;
}

QList<SurtitleNote> SurtitleOverlaps(const SurtitleScript& script) {
    QList<SurtitleNote> notes;
    const SurtitleCue* longest = nullptr;
    for (const qsizetype p : CuesByStart(script)) {
        const SurtitleCue& cue = script.pieces[p].cue;
        if (longest && cue.startMs < longest->endMs) {
            notes.append({cue.fileLine, QStringLiteral("the cue overlaps the cue at line %1, which "
                                                       "is still on until %2; it replaces it")
                                            .arg(longest->fileLine)
                                            .arg(SurtitleTag(longest->endMs))});
        }
        if (cue.hasEnd() && (!longest || cue.endMs > longest->endMs)) {
            longest = &cue;
        }
    }
    return notes;
}

QString SurtitleTag(qint64 ms) {
    const qint64 hundredths = std::max<qint64>(ms, 0) / 10;
    return QLatin1Char('[') + Padded(hundredths / 6000, 2) + QLatin1Char(':') +
           Padded(hundredths / 100 % 60, 2) + QLatin1Char('.') + Padded(hundredths % 100, 2) +
           QLatin1Char(']');
}
