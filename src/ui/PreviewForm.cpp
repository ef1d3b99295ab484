#include "PreviewForm.h"

#include "ui_PreviewForm.h"

#include "core/Settings.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <climits>

namespace {

// Margins around the picture: the buttons above it, stacked on the vertical
// screen's narrow window.
constexpr int kWidthMargin = 36;
constexpr int kHeightMargin = 85;
constexpr int kStackedHeightMargin = 103;
constexpr int kMaxImageSide = 8192;

QImage Black(QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB888);
    image.fill(Qt::black);
    return image;
}

} // namespace

QString PreviewCaption(ScreenId screen) {
    switch (screen) {
    case ScreenId::h:
        return QStringLiteral("横屏预览");
    case ScreenId::s:
        return QStringLiteral("纵屏预览");
    case ScreenId::x:
        return QStringLiteral("小屏预览");
    }
    return {};
}

TPreviewForm::TPreviewForm(ScreenId screen, QString configPath,
                           std::function<std::optional<QImage>()> stillPicture, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      m_ui(std::make_unique<Ui::TPreviewForm>()), m_screen(screen),
      m_configPath(std::move(configPath)), m_stillPicture(std::move(stillPicture)) {
    m_ui->setupUi(this);
    setObjectName(screen == ScreenId::h   ? QStringLiteral("TH_Form")
                  : screen == ScreenId::s ? QStringLiteral("TS_Form")
                                          : QStringLiteral("TX_Form"));
    setWindowTitle(PreviewCaption(screen));
    m_ui->ButtonLayout->setDirection(screen == ScreenId::s ? QBoxLayout::TopToBottom
                                                           : QBoxLayout::LeftToRight);
    connect(m_ui->ButtonZoomIn, &QPushButton::clicked, this, &TPreviewForm::ZoomIn);
    connect(m_ui->ButtonZoomOut, &QPushButton::clicked, this, &TPreviewForm::ZoomOut);
}

TPreviewForm::~TPreviewForm() = default;

QSize TPreviewForm::imageSize() const {
    return m_ui->ImagePreview->size();
}

const QImage& TPreviewForm::picture() const {
    return m_ui->ImagePreview->image();
}

void TPreviewForm::ResizeImage(QSize size) {
    // Never below one pixel: the zoom has no limit, an empty image would.
    const QSize kept = size.expandedTo(QSize(1, 1));
    m_ui->ImagePreview->setPictureSize(kept.width(), kept.height());
    m_ui->ImagePreview->setImage(Black(kept));
    FitWindow();
}

void TPreviewForm::FitWindow() {
    const QSize image = imageSize();
    const int extra = m_screen == ScreenId::s ? kStackedHeightMargin : kHeightMargin;
    const QSize wanted(image.width() + kWidthMargin, image.height() + extra);
    // The buttons need their room even on a tiny zoomed-out picture.
    setFixedSize(wanted.expandedTo(minimumSizeHint()));
}

void TPreviewForm::Open(QSize screenSize) {
    ResizeImage(screenSize);
    const PreviewPlacement placement = ReadPreviewPlacement(m_configPath, m_screen);
    m_zoom = placement.zoom;
    if (m_zoom > 1) {
        // A hand-edited counter cannot make the picture larger than a zoom
        // step could.
        const long long largest = std::max(screenSize.width(), screenSize.height());
        m_zoom = int(std::min<long long>(m_zoom, std::max(1LL, kMaxImageSide / largest)));
        ResizeImage(screenSize * m_zoom);
    }
    move(placement.x, placement.y);
    show();
    BringOntoAScreen();
    raise();
    CopyStillPicture();
}

void TPreviewForm::BringOntoAScreen() {
    const QRect frame = frameGeometry();
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) {
        return;
    }
    QScreen* nearest = nullptr;
    long long best = LLONG_MAX;
    for (QScreen* screen : screens) {
        const QRect area = screen->availableGeometry();
        if (area.contains(frame.topLeft()) || area.intersects(frame)) {
            return;
        }
        const QPoint d = area.center() - frame.center();
        const long long distance = 1LL * d.x() * d.x() + 1LL * d.y() * d.y();
        if (distance < best) {
            best = distance;
            nearest = screen;
        }
    }
    const QRect area = nearest->availableGeometry();
    const int x =
        std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width()));
    const int y =
        std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height()));
    move(x, y);
}

void TPreviewForm::CopyStillPicture() {
    if (!isVisible() || !m_stillPicture) {
        return;
    }
    if (const std::optional<QImage> still = m_stillPicture()) {
        ShowPicture(*still);
    }
}

void TPreviewForm::ShowPicture(const QImage& preview) {
    if (!isVisible() || preview.isNull()) {
        return;
    }
    // Nearest-neighbour scaling keeps every LED dot a sharp square.
    m_ui->ImagePreview->setImage(
        preview.scaled(imageSize(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

void TPreviewForm::SetDark(bool dark) {
    m_ui->ImagePreview->setDark(dark);
}

void TPreviewForm::ZoomIn() {
    const QSize size = imageSize();
    // Each step doubles the picture; past this a step would only exhaust the
    // memory of the station in the middle of a show.
    if (size.width() * 2 > kMaxImageSide || size.height() * 2 > kMaxImageSide) {
        return;
    }
    ResizeImage(size * 2);
    ++m_zoom;
    CopyStillPicture();
}

void TPreviewForm::ZoomOut() {
    const QSize size = imageSize();
    if (size.width() < 2 || size.height() < 2) {
        return;
    }
    ResizeImage(QSize(size.width() / 2, size.height() / 2));
    --m_zoom;
    CopyStillPicture();
}

void TPreviewForm::closeEvent(QCloseEvent* event) {
    const QRect frame = frameGeometry();
    WritePreviewPlacement(m_configPath, m_screen,
                          PreviewPlacement{frame.left(), frame.top(), m_zoom});
    QWidget::closeEvent(event);
    emit closed();
}
