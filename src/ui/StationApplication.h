#pragma once

#include <QApplication>
#include <QTranslator>

// The station's application object: an error that escapes a command is shown
// to the operator with its message and the show goes on, instead of ending
// the process in the middle of a performance.
class StationApplication : public QApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator m_qtTexts;
};

// Qt's own texts (standard buttons 确定/取消/是/否, the file dialog's 打开 and
// 文件名) in Chinese: loads Qt's zh_CN catalogue into `translator` and installs
// it. False when the catalogue is not installed; the texts stay English.
bool InstallQtChineseTexts(QTranslator& translator);
