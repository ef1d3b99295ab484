#pragma once

#include "DdpScreen.h"

#include <QTimer>
#include <QWidget>

// The DDP wall of `led-card-sim --window --ddp PORT`: the receiver's picture
// as lit dots, under a line naming the port and counting the frames. It
// looks at the receiver every tick; tests call Tick() themselves.
class DdpView : public QWidget {
public:
    DdpView(const DdpScreen& screen, int dotSize, QWidget* parent = nullptr);

    void SetAutoTick(bool on);
    void Tick();
    void SetDotSize(int size);
    int dotSize() const { return m_dotSize; }
    // The room the view needs at a dot size.
    QSize SizeForDotSize(int size) const;
    QSize sizeHint() const override { return SizeForDotSize(m_dotSize); }
    // Where the dots are drawn (widget coordinates).
    QRect DotArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kMargin = 8;
    int CaptionHeight() const;

    const DdpScreen& m_screen;
    int m_dotSize;
    long long m_frames = -1;
    QImage m_picture;
    QTimer m_timer;
};
