#pragma once

#include "documents/ScriptEditing.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TNewFileForm;
}

// "新建字幕": a lyric file for the selected track, or an independent file in
// one of three formats. The formats apply only to an independent file.
class TNewFileForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewFileForm(QWidget* parent = nullptr);
    ~TNewFileForm() override;

    // `trackOffered`: the selected entry is a track without a lyric file; the
    // track option is then enabled and preselected, otherwise disabled.
    void prepare(bool trackOffered);
    NewFileChoice choice() const;

private:
    void UpdateTypes();

    std::unique_ptr<Ui::TNewFileForm> m_ui;
};
