#pragma once

#include "core/Operator.h"

#include <QPointer>
#include <functional>

class QWidget;

// The operator answers with real message boxes, input boxes and file dialogs
// (or with the answers tests give in advance, see DialogAnswers); command
// feedback goes to the main window's status line. User-interface thread only.
class WidgetOperator final : public OperatorInterface {
public:
    WidgetOperator() = default;

    // The window dialogs are centred on.
    void setParentWindow(QWidget* window) { m_parent = window; }
    // Where SetStatus texts go (panel 2 of the status line).
    void setStatusSink(std::function<void(const QString&)> sink) { m_status = std::move(sink); }

    bool AskYesNo(const QString& text) override;
    int AskChoice(const QString& text, const QStringList& choices) override;
    void Inform(const QString& text) override;
    void ShowError(const QString& text) override;
    QString ChooseOpenFile(const QString& filter, const QString& initialName) override;
    QString ChooseSaveFile(const QString& filter, const QString& initialName) override;
    std::optional<QString> AskText(const QString& caption, const QString& prompt,
                                   const QString& initial, bool password) override;
    void SetStatus(const QString& text) override;
    void ProcessEvents() override;

private:
    QPointer<QWidget> m_parent;
    std::function<void(const QString&)> m_status;
};
