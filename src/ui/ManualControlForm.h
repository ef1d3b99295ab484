#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class Tkey_Form;
}

// The manual control window: three large buttons for an operator who steps a
// show by hand, on top of every window. It only reports presses; the main
// window runs the commands.
class Tkey_Form : public QWidget {
    Q_OBJECT
public:
    explicit Tkey_Form(QWidget* parent = nullptr);
    ~Tkey_Form() override;

signals:
    void toggleLinkPressed();
    void previousPressed();
    void nextPressed();

private:
    std::unique_ptr<Ui::Tkey_Form> m_ui;
};
