#pragma once

#include "core/ScreenId.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TPreviewForm;
}

// A screen's floating preview window (横屏预览, 纵屏预览, 小屏预览): the
// screen's picture enlarged or reduced by a zoom counter, on top of every
// window. Position and zoom come from the Show keys of Config.ini when the
// window opens and go back there when it closes. A saved position that lies
// off every screen (another monitor, another desk) is moved onto the nearest
// screen, so the operator always finds the window.
class TPreviewForm : public QWidget {
    Q_OBJECT
public:
    // `stillPicture` gives the main window's preview when the screen shows
    // it without animation, nullopt while an animation repaints it anyway.
    TPreviewForm(ScreenId screen, QString configPath,
                 std::function<std::optional<QImage>()> stillPicture, QWidget* parent = nullptr);
    ~TPreviewForm() override;

    ScreenId screen() const { return m_screen; }
    int zoom() const { return m_zoom; }
    QSize imageSize() const;
    const QImage& picture() const;

    // Opens the window for a screen of this size, at its saved place and zoom.
    void Open(QSize screenSize);
    // The main window's preview changed: shown scaled, while the window is open.
    void ShowPicture(const QImage& preview);
    // The cards are at brightness 0 (see ImageBox::setDark).
    void SetDark(bool dark);
    void ZoomIn();
    void ZoomOut();

signals:
    // The window was closed; its place and zoom are saved.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ResizeImage(QSize size);
    void FitWindow();
    void CopyStillPicture();
    void BringOntoAScreen();

    std::unique_ptr<Ui::TPreviewForm> m_ui;
    const ScreenId m_screen;
    const QString m_configPath;
    std::function<std::optional<QImage>()> m_stillPicture;
    int m_zoom = 1;
};

// The window's caption and object name by screen.
QString PreviewCaption(ScreenId screen);
