#pragma once

#include <QApplication>

// The station's application object: an error that escapes a command is shown
// to the operator with its message and the show goes on, instead of ending
// the process in the middle of a performance.
class StationApplication : public QApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
