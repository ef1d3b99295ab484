#pragma once

#include "IoStatus.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// An INI text that can be updated in place: sections and keys compare without
// regard to case, and every line the station does not write (comments, unknown
// keys, other sections) is kept as it was when the text is written back.
class IniFile {
public:
    // Values longer than this are cut on reading.
    static constexpr qsizetype kMaxValueLength = 2047;

    IniFile() = default;
    static IniFile FromText(const QString& text);
    // A missing or unreadable file gives an empty INI text.
    static IniFile FromFile(const QString& path);

    std::optional<QString> value(const QString& section, const QString& key) const;
    // The value is written as IniValueText gives it.
    void setValue(const QString& section, const QString& key, const QString& value);
    bool hasSection(const QString& section) const;

    QStringList toLines() const;
    // GBK with CR LF after every line, written through a temporary file.
    IoStatus save(const QString& path) const;

private:
    struct Line {
        QString text; // as it stands in the file
        QString key;  // empty for lines that are not key lines
        QString value;
    };
    struct Section {
        QString name;       // empty for the lines before the first section
        bool header = true; // false only for those leading lines
        std::vector<Line> lines;
    };

    Section* findSection(const QString& name);
    const Section* findSection(const QString& name) const;

    std::vector<Section> m_sections;
};

// A value as it can stand on one INI line: every control character (CR and LF
// above all) becomes a space, everything else is kept.
QString IniValueText(const QString& value);

// Value conversions shared by Config.ini and project files.
// Decimal with an optional sign, or hexadecimal after "$" or "0x"; anything
// else, or a value outside 32 bits, is nullopt.
std::optional<int> ParseIniInt(const QString& text);
