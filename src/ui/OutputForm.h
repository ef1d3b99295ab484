#pragma once

#include "outputs/OutputSettings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TOutputForm;
}

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

// The outputs beside the cards: per screen, the DDP receivers, the wall's
// serpentine layout and its brightness, the monitor that shows the screen
// full-screen (the desktop's monitors are offered, any name may be typed)
// and whether it shows the performers' confidence layout. OK is refused (with the reason under
// the fields) while a receiver cannot be read.
class TOutputForm : public QDialog {
    Q_OBJECT
public:
    explicit TOutputForm(QWidget* parent = nullptr);
    ~TOutputForm() override;

    void loadSettings(const OutputSettings& settings);
    OutputSettings settings() const;
    // A note about options the command line overrides for this run.
    void setOverrideNote(const QString& note);

    void accept() override;

private:
    struct Row {
        QLineEdit* receivers;
        QCheckBox* serpentine;
        QSpinBox* brightness;
        QComboBox* monitor;
        QCheckBox* confidence;
    };
    Row row(ScreenId screen) const;

    std::unique_ptr<Ui::TOutputForm> m_ui;
    QString m_note;
};
