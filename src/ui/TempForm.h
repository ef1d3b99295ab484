#pragma once

#include "core/Settings.h"
#include "render/TextRenderer.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ui {
class TTempForm;
}

// The two-row text dialog. It serves the temporary message typed during a
// show ("发送临时信息") and the stand-by advertisement the cards play on
// their own ("设置脱机文字"); the controls themselves hold the advertisement
// settings while the station runs, so the owner keeps one instance for the
// whole session and shows it modally.
class TTempForm : public QDialog {
    Q_OBJECT
public:
    explicit TTempForm(QWidget* parent = nullptr);
    ~TTempForm() override;

    void setCaption(const QString& caption);

    // Edit1 and Edit2 exactly as typed.
    QString row1() const;
    QString row2() const;
    // ColorBox1's index, -1 when nothing is selected: 0 red, 1 green, any
    // other yellow.
    int colourIndex() const;
    // The advertisement style the controls describe. A face or size with
    // nothing selected falls back as the renderer's defaults do ("宋体", 12).
    AdvertStyle style() const;
    // The font list, in the order that zit indexes.
    QStringList faces() const;

    bool playAfterDisconnect() const;
    void setPlayAfterDisconnect(bool play);

    // An index outside its list leaves that list without a selection; the
    // spin boxes keep a value outside their range at the nearest end.
    void loadSettings(const TAdSettings& ad);
    void storeSettings(TAdSettings& ad) const;

    // Red, green and yellow unless the horizontal screen is single colour
    // (ScreenStyle 0), then red alone. With keepSelection (every showing) the
    // previous index stays selected when it still exists, otherwise nothing
    // is; without it (start-up, project loaded) the first entry is selected.
    void rebuildColourList(int horizontalScreenStyle, bool keepSelection);

    // Size list index <-> points: index i stands for i + 8 points.
    static constexpr int kMinPointSize = 8;
    static constexpr int kMaxPointSize = 50;

signals:
    // Button3 "预览": the owner renders the rows without closing the dialog.
    void previewRequested();

protected:
    // The dialog opens ready for typing: keys pressed before a click would be lost.
    void showEvent(QShowEvent* event) override;

private:
    void updateOkButton();

    std::unique_ptr<Ui::TTempForm> m_ui;
};
