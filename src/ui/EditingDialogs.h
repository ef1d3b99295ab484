#pragma once

#include "documents/ScriptEditing.h"

class QWidget;
class TCaptionForm;
class TEditForm;
class TNewFileForm;

// The editing dialogs as the station shows them: its forms, run modally
// (pre-answered in tests, see RunModal). User-interface thread only.
class WidgetEditingDialogs : public ScriptEditingDialogs {
public:
    explicit WidgetEditingDialogs(QWidget* parent);
    ~WidgetEditingDialogs() override;
    WidgetEditingDialogs(const WidgetEditingDialogs&) = delete;
    WidgetEditingDialogs& operator=(const WidgetEditingDialogs&) = delete;

    std::optional<QString> AskLine(const QString& caption, const QString& text) override;
    std::optional<QString> EditScript(const QStringList& lines) override;
    std::optional<NewFileChoice> ChooseNewFile(bool trackOffered) override;

private:
    TCaptionForm* m_captionForm;
    TEditForm* m_editForm;
    TNewFileForm* m_newFileForm;
};
