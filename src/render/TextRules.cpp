#include "TextRules.h"

QStringList SplitCharacters(const QString& text) {
    QStringList characters;
    characters.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            characters.append(text.mid(i, 2));
            ++i;
        } else {
            characters.append(QString(text[i]));
        }
    }
    return characters;
}

bool IsTwoByteCharacter(const QString& character) {
    return !character.isEmpty() && character[0].unicode() >= 0x80;
}

QString ToFullWidth(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u >= 0x21 && u <= 0x7E) {
            c = QChar(static_cast<char16_t>(u + 0xFEE0));
        } else if (u == 0x20) {
            c = QChar(static_cast<char16_t>(0x3000));
        }
    }
    return result;
}

bool IsBlankRow(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x20) {
            return false;
        }
    }
    return true;
}

int RoundUpToGranule(int length) {
    const int rest = length % kScrollGranule;
    return rest == 0 ? length : length + (kScrollGranule - rest);
}

int ScrollLengthLimit(int screenStyle) {
    return screenStyle == 0 ? kScrollLimitSingle : kScrollLimitColour;
}
