#pragma once

#include "show/FailoverSettings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TFailoverForm;
}

// The station's part in a main/backup pair: its role at start, the peer's
// address, the port where it serves its show, how long a backup waits before
// it takes over and the key both stations share. OK is refused (with the
// reason under the fields) while a value cannot be used.
class TFailoverForm : public QDialog {
    Q_OBJECT
public:
    explicit TFailoverForm(QWidget* parent = nullptr);
    ~TFailoverForm() override;

    void loadSettings(const FailoverSettings& settings);
    FailoverSettings settings() const;
    // A note about options the command line overrides for this run.
    void setOverrideNote(const QString& note);

    void accept() override;

private:
    std::unique_ptr<Ui::TFailoverForm> m_ui;
    QString m_note;
};
