#pragma once

#include <QImage>
#include <QWidget>

// Shows one picture pixel for pixel: the screen previews and the two meters.
// The picture is drawn at its own size in the top-left corner (the widget is
// sized to it), never smoothed, so the preview shows exactly the LED dots.
class ImageBox : public QWidget {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);

    // Takes a shallow copy; the widget repaints. A null image shows black.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // Fixes the widget to w × h pixels.
    void setPictureSize(int width, int height);
    // The cards are at brightness 0: the box shows the black they show, with
    // a faint note so a dark preview is not taken for a fault.
    void setDark(bool dark);
    bool isDark() const { return m_dark; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    bool m_dark = false;
};

// The track's progress bar: a thin bar with a hand cursor; a press asks to
// seek to that place.
class SeekBar : public QWidget {
    Q_OBJECT
public:
    explicit SeekBar(QWidget* parent = nullptr);

    // 0..100.
    void setValue(int value);
    int value() const { return m_value; }

signals:
    // x of the press and the bar's width.
    void pressedAt(int x, int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_value = 0;
};
