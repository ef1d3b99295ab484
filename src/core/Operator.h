#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Everything the station asks or tells the operator. The user interface answers
// with real dialogs; tests answer with a script. Called on the user-interface
// thread only.
class OperatorInterface {
public:
    virtual ~OperatorInterface() = default;

    // Yes/No question with the caption "询问"; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // A question with the caption "询问" answered by one of `choices` (one
    // button each); the index chosen, or -1 when the operator dismissed it.
    // An operator without buttons to offer (a console) dismisses it.
    virtual int AskChoice(const QString& text, const QStringList& choices) {
        (void)text;
        (void)choices;
        return -1;
    }
    // Information with the caption "信息".
    virtual void Inform(const QString& text) = 0;
    // An error the operator must see (a file that could not be written...).
    virtual void ShowError(const QString& text) = 0;
    // File dialogs. The filter has the form "Name|*.x;*.y|Other|*.*"; an empty
    // result means the operator dismissed the dialog.
    virtual QString ChooseOpenFile(const QString& filter, const QString& initialName) = 0;
    virtual QString ChooseSaveFile(const QString& filter, const QString& initialName) = 0;
    // Input box; nullopt when dismissed. A password prompt hides what is typed.
    virtual std::optional<QString> AskText(const QString& caption, const QString& prompt,
                                           const QString& initial, bool password) = 0;
    // Command feedback on panel 2 of the status line.
    virtual void SetStatus(const QString& text) = 0;
    // Lets pending window events run while a command waits, so the window keeps
    // repainting. Does nothing without a window.
    virtual void ProcessEvents() {}
};

// "A|*.x|B|*.y" becomes "A (*.x);;B (*.y)" for Qt's file dialogs. A name
// that already shows its pattern in brackets keeps it as the shown text.
QString ToQtFileFilter(const QString& filter);
