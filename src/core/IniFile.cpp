#include "IniFile.h"

#include "TextFiles.h"

#include <QFile>

namespace {

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The bytes of an INI text that read back as exactly these lines. GBK as the
// station has always written, whenever GBK carries every character. It has no
// code for some: the converter silently drops U+FEFF and the other invisible
// format characters, and turns the rest into "?". Either can change what a
// line means on the next start (a line that read as "\uFEFF[Name]" comes back
// as a section header and takes the keys below it away from their section;
// an advertisement text or a file name comes back altered). Such a text goes
// out with a byte order mark instead, which every reader of the station's
// files already understands. Reading stays as it is, so an existing file
// means on this start what it meant before.
QByteArray EncodeExactly(const QStringList& lines) {
    const QString text = JoinLinesCrLf(lines);
    const QByteArray gbk = JoinLinesGbk(lines);
    if (DecodeFileText(gbk) == text) {
        return gbk;
    }
    const QByteArray utf8 = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    if (DecodeFileText(utf8) == text) {
        return utf8;
    }
    // UTF-8 cannot carry a lone surrogate; UTF-16 keeps every code unit.
    QByteArray utf16("\xFF\xFE");
    for (const QChar c : text) {
        utf16 += static_cast<char>(c.unicode() & 0xFF);
        utf16 += static_cast<char>(c.unicode() >> 8);
    }
    return DecodeFileText(utf16) == text ? utf16 : gbk;
}

} // namespace

IniFile IniFile::FromText(const QString& text) {
    IniFile ini;
    ini.m_sections.push_back({QString(), false, {}});
    for (const QString& raw : SplitLines(text)) {
        const QString trimmed = raw.trimmed();
        if (trimmed.startsWith(u'[')) {
            qsizetype close = trimmed.indexOf(u']');
            if (close < 0) {
                close = trimmed.size();
            }
            ini.m_sections.push_back({trimmed.mid(1, close - 1).trimmed(), true, {}});
            ini.m_sections.back().lines.push_back({raw, {}, {}});
            continue;
        }
        Line line{raw, {}, {}};
        const qsizetype eq = raw.indexOf(u'=');
        if (eq > 0 && !trimmed.startsWith(u';')) {
            line.key = raw.left(eq).trimmed();
            line.value = raw.mid(eq + 1).trimmed();
        }
        ini.m_sections.back().lines.push_back(std::move(line));
    }
    return ini;
}

IniFile IniFile::FromFile(const QString& path) {
    const TextFileContent content = ReadMarkedOrGbkFile(path);
    return FromText(content.status ? content.text : QString());
}

IniFile::Section* IniFile::findSection(const QString& name) {
    for (Section& section : m_sections) {
        if (section.header && SameName(section.name, name)) {
            return &section;
        }
    }
    return nullptr;
}

const IniFile::Section* IniFile::findSection(const QString& name) const {
    return const_cast<IniFile*>(this)->findSection(name);
}

bool IniFile::hasSection(const QString& section) const {
    return findSection(section) != nullptr;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const Section* found = findSection(section);
    if (!found) {
        return std::nullopt;
    }
    for (const Line& line : found->lines) {
        if (!line.key.isEmpty() && SameName(line.key, key)) {
            return line.value.left(kMaxValueLength);
        }
    }
    return std::nullopt;
}

QString IniValueText(const QString& value) {
    QString text = value;
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& rawValue) {
    // A value is one line. A card name from a search answer (or any text) that
    // carries CR or LF would otherwise end the line early: what follows becomes
    // lines of its own, a "[Options]" in it a section that takes the keys
    // below it away from their own section, and the next save makes the loss
    // permanent. Control characters become spaces, which every reader takes as
    // plain text; the rest of the value is kept.
    const QString value = IniValueText(rawValue);
    Section* target = findSection(section);
    if (!target) {
        if (m_sections.empty()) {
            m_sections.push_back({QString(), false, {}});
        }
        m_sections.push_back(
            {section, true, {{QLatin1Char('[') + section + QLatin1Char(']'), {}, {}}}});
        target = &m_sections.back();
    }
    for (Line& line : target->lines) {
        if (!line.key.isEmpty() && SameName(line.key, key)) {
            line.text = line.key + QLatin1Char('=') + value;
            line.value = value;
            return;
        }
    }
    // New keys go after the section's last key line, before trailing blank lines,
    // so a blank separator between sections stays where it was.
    auto insertAt = target->lines.end();
    while (insertAt != target->lines.begin() && std::prev(insertAt)->text.trimmed().isEmpty()) {
        --insertAt;
    }
    target->lines.insert(insertAt, {key + QLatin1Char('=') + value, key, value});
}

QStringList IniFile::toLines() const {
    QStringList lines;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            lines.append(line.text);
        }
    }
    return lines;
}

IoStatus IniFile::save(const QString& path) const {
    return WriteFileAtomically(path, EncodeExactly(toLines()));
}

std::optional<int> ParseIniInt(const QString& text) {
    QString digits = text;
    bool negative = false;
    if (digits.startsWith(u'-') || digits.startsWith(u'+')) {
        negative = digits.startsWith(u'-');
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith(u'$')) {
        base = 16;
        digits.remove(0, 1);
    } else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    }
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    for (QChar c : digits) {
        const bool ok = base == 10 ? c.isDigit() && c.unicode() < 128
                                   : (c.isDigit() && c.unicode() < 128) ||
                                         (c.toLower() >= u'a' && c.toLower() <= u'f');
        if (!ok) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qlonglong magnitude = digits.toLongLong(&ok, base);
    if (!ok) {
        return std::nullopt;
    }
    const qlonglong value = negative ? -magnitude : magnitude;
    if (base == 16 && !negative && magnitude <= 0xFFFFFFFFLL && magnitude > 0x7FFFFFFFLL) {
        // Hexadecimal spells the 32-bit pattern, so $FFFFFFFF is -1.
        return static_cast<int>(static_cast<quint32>(magnitude));
    }
    if (value < INT_MIN || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}
