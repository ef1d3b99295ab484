#include "CommandLine.h"

TakenOptions TakeOptions(const QStringList& arguments, const QStringList& names) {
    TakenOptions result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const QString* name = nullptr;
        QString value;
        bool haveValue = false;
        for (const QString& known : names) {
            if (argument == known) {
                name = &known;
            } else if (argument.startsWith(known + QLatin1Char('='))) {
                name = &known;
                value = argument.mid(known.size() + 1);
                haveValue = true;
            }
        }
        if (name == nullptr) {
            result.remaining << argument;
            continue;
        }
        if (!haveValue) {
            if (i + 1 >= arguments.size()) {
                if (result.error.isEmpty()) {
                    result.error = *name + QStringLiteral(": value missing");
                }
                continue;
            }
            value = arguments[++i];
        }
        result.taken.push_back({*name, value});
    }
    return result;
}
