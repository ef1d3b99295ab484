// The INI reader under Config.ini and the project files: any text, any key.

#include "FuzzSupport.h"

#include "core/IniFile.h"
#include "core/TextFiles.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = DecodeFileText(FuzzBytes(data, size));
    IniFile ini = IniFile::FromText(text);

    // Every line is kept as it stood, whatever it means to the reader.
    FUZZ_CHECK(ini.toLines() == SplitLines(text));

    // Ask for every name the text itself offers, so odd keys and sections are met.
    QString section = QStringLiteral("ScreenParam");
    for (const QString& line : SplitLines(text)) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            section = trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed();
            ini.hasSection(section);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0) {
            const QString key = line.left(eq).trimmed();
            if (const auto value = ini.value(section, key)) {
                FUZZ_CHECK(value->size() <= IniFile::kMaxValueLength);
                ParseIniInt(*value);
            }
        }
        ParseIniInt(trimmed);
    }

    // A value the station sets is what it reads back, in a section that may be
    // new or one of the file's own.
    const QString value = text.left(3000).remove(u'\r').remove(u'\n');
    ini.setValue(section, QStringLiteral("Fuzz"), value);
    const auto back = ini.value(section, QStringLiteral("Fuzz"));
    if (!section.contains(u']') && !section.isEmpty()) {
        // Control characters become spaces: a line break must never split a value.
        FUZZ_CHECK(back.has_value() && *back == IniValueText(value).left(IniFile::kMaxValueLength));
    }
    ini.toLines();
    return 0;
}
