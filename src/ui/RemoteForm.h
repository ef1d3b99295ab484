#pragma once

#include "remote/RemoteSettings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TRemoteForm;
}

// The remotes' options: OSC and the web remote on or off, their ports, where
// they listen, the PIN and the OSC clients allowed. OK is refused (with the
// reason under the fields) while a value cannot be used.
class TRemoteForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemoteForm(QWidget* parent = nullptr);
    ~TRemoteForm() override;

    void loadSettings(const RemoteSettings& settings);
    RemoteSettings settings() const;
    // A note about options the command line overrides for this run.
    void setOverrideNote(const QString& note);

    void accept() override;

private:
    std::unique_ptr<Ui::TRemoteForm> m_ui;
    QString m_note;
};
