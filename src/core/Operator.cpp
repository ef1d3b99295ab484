#include "Operator.h"

#include <QStringList>

QString ToQtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString listed = parts[i + 1].trimmed();
        QString patterns = listed;
        patterns.replace(u';', u' ');
        // "*.*" is every file elsewhere, but here it would hide the files
        // without an extension.
        if (patterns == QLatin1String("*.*")) {
            patterns = QStringLiteral("*");
        }
        // Descriptions usually carry their patterns already ("文本文件(*.txt)"),
        // and the dialog shows the patterns it is given: without this they
        // would be shown twice.
        QString description = parts[i].trimmed();
        const QString shown = QLatin1Char('(') + listed + QLatin1Char(')');
        if (description.endsWith(shown) && description.size() > shown.size()) {
            description.chop(shown.size());
            description = description.trimmed();
        }
        entries.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}
