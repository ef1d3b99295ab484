#pragma once

#include "offline/OfflineCommands.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TtuojiForm;
}

// The offline dialog ("产生脱机数据及发送"): a view over OfflineCommands. Its
// log is the commands' log; beside it a progress bar shows which card is
// being written and how far. While a command runs its buttons are disabled
// (the window keeps repainting) and "停止" stops a network send after the
// block in flight. The dialog closes only through "退出", never during a command.
class TtuojiForm : public QDialog, public OfflineLog {
    Q_OBJECT
public:
    TtuojiForm(OfflineCommands& commands, OfflineSender& sender, QWidget* parent = nullptr);
    ~TtuojiForm() override;

    // The drive list: the mounted removable volumes; with exactly one, it is
    // the target.
    void refreshDrives();
    bool isBusy() const { return m_busy; }
    QStringList logLines() const;

    // OfflineLog
    void Append(const QString& line) override;
    void ReplaceLast(const QString& line) override;
    void Clear() override;
    void ShowProgress(const QString& card, int sent, int total) override;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Run(const std::function<void()>& command);

    OfflineCommands& m_commands;
    OfflineSender& m_sender;
    std::unique_ptr<Ui::TtuojiForm> m_ui;
    bool m_busy = false;
};
