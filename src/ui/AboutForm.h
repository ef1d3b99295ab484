#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

namespace Ui {
class TAboutForm;
}

// The about box: program name, version, the Qt it runs on, and the licences
// of the libraries and fonts the station ships with or draws with.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    struct Component {
        QString name;
        QString licence;
    };
    // The libraries and fonts named in the box, in the order shown.
    static std::vector<Component> Components();

    explicit TAboutForm(QWidget* parent = nullptr);
    ~TAboutForm() override;

private:
    std::unique_ptr<Ui::TAboutForm> m_ui;
};
