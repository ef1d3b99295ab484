#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TjianceForm;
}
class LinkMonitor;

// The communication monitor: the worker's failure lines while the window is
// on show. Lines are kept by the link only while the window is visible; the
// worker's notifier posts a pull onto the user-interface thread.
class TjianceForm : public QWidget {
    Q_OBJECT
public:
    // `monitor` must outlive the window, and the thread that adds lines must
    // have ended before the window is destroyed (the notifier refers to it).
    explicit TjianceForm(LinkMonitor& monitor, QWidget* parent = nullptr);
    ~TjianceForm() override;

    // Lines shown in the memo.
    QStringList lines() const;
    // The memo keeps this many lines; older ones scroll away for good.
    static constexpr int kMaxLines = 5000;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PullLines();

    std::unique_ptr<Ui::TjianceForm> m_ui;
    LinkMonitor& m_monitor;
};
