#include "ColourList.h"

#include <QComboBox>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <array>

namespace {

struct ColourEntry {
    const char* name;
    QRgb swatch;
};

// Indexed by colour value − 1.
constexpr std::array<ColourEntry, 3> kColours{{
    {"红色", qRgb(255, 0, 0)},
    {"绿色", qRgb(0, 128, 0)},
    {"黄色", qRgb(255, 255, 0)},
}};

QIcon Swatch(QRgb colour) {
    QPixmap pixmap(16, 12);
    pixmap.fill(QColor::fromRgb(colour));
    // A dark frame keeps yellow visible on a light list background.
    QPainter painter(&pixmap);
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

} // namespace

void FillColourList(QComboBox* box, const std::vector<int>& colours) {
    box->clear();
    for (const int colour : colours) {
        if (colour < 1 || colour > int(kColours.size())) {
            continue;
        }
        const ColourEntry& entry = kColours[size_t(colour - 1)];
        box->addItem(Swatch(entry.swatch), QString::fromUtf8(entry.name));
    }
}

void SelectIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}
