#include "ProjectFile.h"

#include "core/IniFile.h"
#include "core/SettingsKeys.h"
#include "core/TextFiles.h"

namespace {

const QString kContentMarker = QStringLiteral("[Content]");

QString Line(const char* key, int value) {
    return QString::fromLatin1(key) + QLatin1Char('=') + QString::number(value);
}
QString ScreenLine(const char* key, ScreenId id, int value) {
    return ScreenKey(key, id) + QLatin1Char('=') + QString::number(value);
}

} // namespace

QStringList ProjectFileLines(const TSettings& s, const QStringList& content) {
    QStringList out;
    out << QStringLiteral("[ScreenParam]") << Line("Com", s.Link.Com) << Line("Rate", s.Link.Rate);
    for (ScreenId id : kAllScreens) {
        out << ScreenLine("ScreenKind", id, s.screen(id).ScreenKind ? 1 : 0);
    }
    for (ScreenId id : kAllScreens) {
        out << ScreenLine("Flash", id, s.screen(id).Flash);
    }
    for (ScreenId id : kAllScreens) {
        const TScreenParams& p = s.screen(id);
        out << ScreenLine("ScreenWidth", id, p.ScreenWidth)
            << ScreenLine("ScreenHeight", id, p.ScreenHeight)
            << ScreenLine("ScreenStyle", id, p.ScreenStyle)
            << ScreenLine("ScanStyle", id, p.ScanStyle) << ScreenLine("DataPol", id, p.DataPol)
            << ScreenLine("OePol", id, p.OePol);
    }
    out << QString() << QStringLiteral("[FontEffect]") << Line("AutoPara", s.Text.AutoPara)
        << Line("ParaLen", s.Text.ParaLen) << Line("Align", s.Text.Align)
        << Line("Jump", s.Text.Jump);
    for (ScreenId id : kAllScreens) {
        const TTextEffect& e = s.effect(id);
        out << ScreenKey("Font", id) + QLatin1Char('=') + IniValueText(e.Font)
            << ScreenLine("Color", id, e.Color) << ScreenLine("Bold", id, e.Bold)
            << ScreenLine("Italic", id, e.Italic) << ScreenLine("Row", id, e.Row)
            << ScreenLine("AutoSize", id, e.AutoSize) << ScreenLine("SizeWidth", id, e.SizeWidth)
            << ScreenLine("SizeHeight", id, e.SizeHeight)
            << ScreenKey("Zjj", id) + (e.Zjj ? QStringLiteral("=true") : QStringLiteral("=false"))
            << ScreenLine("Effect", id, e.Effect) << ScreenLine("Speed", id, e.Speed)
            << ScreenLine("RollStay", id, e.RollStay);
    }
    out << QString() << kContentMarker;
    out += content;
    return out;
}

QStringList ParseProjectText(const QString& text, TSettings& settings) {
    const QStringList fileLines = SplitLines(text);
    // The content starts after the first line that begins with the marker. Only
    // a line start counts, so a font name or value that happens to contain the
    // marker cannot pull settings lines into the script.
    qsizetype marker = -1;
    for (qsizetype i = 0; i < fileLines.size(); ++i) {
        if (fileLines[i].startsWith(kContentMarker)) {
            marker = i;
            break;
        }
    }
    // Settings come only from the part before the content, so script lines that
    // look like INI sections cannot change them.
    const QStringList head = marker < 0 ? fileLines : fileLines.mid(0, marker);
    const IniFile ini = IniFile::FromText(head.join(QLatin1Char('\n')));
    ReadScreenSection(ini, settings, false);
    ReadFontEffectSection(ini, settings, SpacingForm::BooleanText);

    if (marker < 0) {
        return {};
    }
    QStringList content;
    const QString rest = fileLines[marker].mid(kContentMarker.size());
    if (!rest.isEmpty()) {
        content.append(rest);
    }
    content += fileLines.mid(marker + 1);
    return content;
}
