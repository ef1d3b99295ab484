#include "MacAddress.h"

#include "core/Hex.h"

QString MacText(const MacAddress& mac) {
    QString text;
    text.reserve(17);
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0) {
            text += QLatin1Char('-');
        }
        text += QStringLiteral("%1").arg(mac[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

MacAddress MacFromEntry(const QString& entry) {
    MacAddress mac{};
    for (int field = 0; field < 6; ++field) {
        // Position 5 counted from 1 is index 4; fields are three characters apart.
        // A field is read like "0x" + its characters: one or two hex digits (a
        // truncated entry may leave one), anything else gives 0.
        const QString digits = entry.mid(4 + field * 3, 2);
        int value = digits.isEmpty() ? -1 : 0;
        for (const QChar c : digits) {
            const int d = HexDigitValue(c);
            if (d < 0) {
                value = -1;
                break;
            }
            value = value * 16 + d;
        }
        mac[field] = value < 0 ? 0 : static_cast<std::uint8_t>(value);
    }
    return mac;
}

std::optional<MacAddress> ParseMacText(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() != 17) {
        return std::nullopt;
    }
    MacAddress mac{};
    for (int field = 0; field < 6; ++field) {
        const int start = field * 3;
        if (field > 0) {
            const QChar sep = t[start - 1];
            if (sep != QLatin1Char('-') && sep != QLatin1Char(':')) {
                return std::nullopt;
            }
        }
        const int hi = HexDigitValue(t[start]);
        const int lo = HexDigitValue(t[start + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        mac[field] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return mac;
}
