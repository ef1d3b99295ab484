#include "BankConfig.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

bool ParseInt(const QString& value, int min, int max, int& out) {
    bool ok = false;
    const int v = value.toInt(&ok, 0);
    if (!ok || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

bool ParseFlag(const QString& value, bool& out) {
    const QString v = value.toLower();
    if (v == QLatin1String("1") || v == QLatin1String("yes") || v == QLatin1String("true")) {
        out = true;
        return true;
    }
    if (v == QLatin1String("0") || v == QLatin1String("no") || v == QLatin1String("false")) {
        out = false;
        return true;
    }
    return false;
}

} // namespace

BankConfigParse ParseCardSpec(const QString& line) {
    BankConfigParse result;
    SimCardSpec setup;
    bool haveMac = false;
    int width = 256;
    int height = 32;
    int scan = 0;
    int colour = 1;
    int oe = 0;
    int data = 0;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& token : line.split(separators, Qt::SkipEmptyParts)) {
        const qsizetype eq = token.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            result.error = QStringLiteral("expected key=value, got \"%1\"").arg(token);
            return result;
        }
        const QString key = token.left(eq).toLower();
        const QString value = token.mid(eq + 1);
        bool ok = true;
        if (key == QLatin1String("mac")) {
            const auto mac = ParseMacText(value);
            ok = mac.has_value();
            if (ok) {
                setup.mac = *mac;
                haveMac = true;
            }
        } else if (key == QLatin1String("name")) {
            setup.name = value;
        } else if (key == QLatin1String("model")) {
            ok = ParseInt(value, 0, 255, setup.modelCode);
        } else if (key == QLatin1String("screen")) {
            const QString v = value.toLower();
            ok = v == QLatin1String("h") || v == QLatin1String("s") || v == QLatin1String("x");
            if (ok) {
                setup.screen = v == QLatin1String("h")   ? ScreenId::h
                               : v == QLatin1String("s") ? ScreenId::s
                                                         : ScreenId::x;
            }
        } else if (key == QLatin1String("width")) {
            ok = ParseInt(value, 8, 65535 * 8, width);
        } else if (key == QLatin1String("height")) {
            ok = ParseInt(value, 1, 65535, height);
        } else if (key == QLatin1String("scan")) {
            ok = ParseInt(value, 0, 9, scan);
        } else if (key == QLatin1String("colour") || key == QLatin1String("color")) {
            ok = ParseInt(value, 0, 2, colour);
        } else if (key == QLatin1String("oe")) {
            ok = ParseInt(value, 0, 1, oe);
        } else if (key == QLatin1String("data")) {
            ok = ParseInt(value, 0, 1, data);
        } else if (key == QLatin1String("drop")) {
            ok = ParseInt(value, 0, 100, setup.faults.dropPercent);
        } else if (key == QLatin1String("stop-after")) {
            ok = ParseInt(value, -1, 1 << 30, setup.faults.stopAfterSlices);
        } else if (key == QLatin1String("stop-after-flash")) {
            ok = ParseInt(value, -1, 1 << 30, setup.faults.stopAfterFlash);
        } else if (key == QLatin1String("ignore-mode")) {
            ok = ParseFlag(value, setup.faults.ignoreModeSwitch);
        } else if (key == QLatin1String("ignore-swap")) {
            ok = ParseFlag(value, setup.faults.ignoreSwap);
        } else if (key == QLatin1String("wrong-seq")) {
            ok = ParseFlag(value, setup.faults.wrongSeq);
        } else if (key == QLatin1String("delay")) {
            ok = ParseInt(value, 0, 60000, setup.faults.delayMs);
        } else if (key == QLatin1String("duplicate")) {
            ok = ParseFlag(value, setup.faults.duplicate);
        } else {
            result.error = QStringLiteral("unknown key \"%1\"").arg(key);
            return result;
        }
        if (!ok) {
            result.error = QStringLiteral("bad value for %1: \"%2\"").arg(key, value);
            return result;
        }
    }
    if (!haveMac) {
        result.error = QStringLiteral("a card needs mac=XX-XX-XX-XX-XX-XX");
        return result;
    }
    setup.params = MakeCardParams(width, height, scan, colour, oe, data);
    result.cards.push_back(setup);
    return result;
}

BankConfigParse ParseBankConfig(const QString& text) {
    BankConfigParse result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        BankConfigParse one = ParseCardSpec(line);
        if (!one.ok()) {
            result.error = QStringLiteral("line %1: %2").arg(i + 1).arg(one.error);
            result.cards.clear();
            return result;
        }
        result.cards.push_back(one.cards.front());
    }
    return result;
}

QString BankConfigHelp() {
    return QStringLiteral(
        "Card description (one per --card option or per line of a --cards file):\n"
        "  mac=00-1A-2B-3C-4D-5E  required; the card's address\n"
        "  name=TEXT              card name (default 舞台屏), no spaces or commas\n"
        "  model=N                model code reported to searches (default 7)\n"
        "  screen=h|s|x           screen (card port) the card starts on (default h)\n"
        "  width=N height=N       card geometry in pixels (default 256 x 32)\n"
        "  scan=0..9              scan index of the parameter block (default 0)\n"
        "  colour=0|1|2           single, dual, full colour (default 1)\n"
        "  oe=0|1 data=0|1        polarities kept in the parameter block\n"
        "Faults:\n"
        "  drop=PERCENT           lose this share of replies at random\n"
        "  stop-after=K           answer K data slices, then nothing at all\n"
        "  stop-after-flash=K     answer K flash blocks, then nothing at all\n"
        "  ignore-mode=1          answer Connect but not the sync/offline mode switch\n"
        "  ignore-swap=1          take the data but neither show nor answer SwapBuffer\n"
        "  wrong-seq=1            acknowledge with the sequence byte + 1\n"
        "  delay=MS               send every reply this late\n"
        "  duplicate=1            send every reply twice\n"
        "Keys are separated by spaces or commas; '#' starts a comment line.\n");
}
