#include "StationApplication.h"

#include "ui/DialogAnswers.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>

#include <exception>

StationApplication::StationApplication(int& argc, char** argv) : QApplication(argc, argv) {
    InstallQtChineseTexts(m_qtTexts);
}

bool InstallQtChineseTexts(QTranslator& translator) {
    // "qt_zh_CN" gathers the catalogues of every Qt module installed.
    if (!translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    return QCoreApplication::installTranslator(&translator);
}

bool StationApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        const QString text = QString::fromLocal8Bit(error.what());
        if (DialogAnswers::instance().scripted()) {
            DialogAnswers::instance().shown.append(QStringLiteral("error:") + text);
        } else {
            QMessageBox::critical(activeWindow(), QStringLiteral("信息"), text);
        }
    } catch (...) {
        QMessageBox::critical(activeWindow(), QStringLiteral("信息"),
                              QStringLiteral("发生未知错误。"));
    }
    return false;
}
