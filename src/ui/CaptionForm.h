#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TCaptionForm;
}

// The one-line dialog of the editing page: "添加字幕" by default, "插入字幕"
// or "修改字幕" as the caller sets it.
class TCaptionForm : public QDialog {
    Q_OBJECT
public:
    explicit TCaptionForm(QWidget* parent = nullptr);
    ~TCaptionForm() override;

    void prepare(const QString& caption, const QString& text);
    QString text() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TCaptionForm> m_ui;
};
