#include "ParamForm.h"

#include "ui_ParamForm.h"

#include <QMenu>

namespace {

struct PageControls {
    QCheckBox* inUse;
    QRadioButton* horizontalText;
    QRadioButton* verticalText;
    QSpinBox* width;
    QSpinBox* height;
    QComboBox* colour;
    QComboBox* scan;
    QComboBox* oe;
    QComboBox* data;
    QPushButton* search;
    QPushButton* load;
    QPushButton* makeFile;
    QListWidget* cards;
};

PageControls Controls(Ui::TParamForm& ui, ScreenId screen) {
    switch (screen) {
    case ScreenId::h:
        return {ui.CheckBox1,     ui.RadioButtonFlash11, ui.RadioButtonFlash12, ui.UpDown1,
                ui.UpDown2,       ui.ComboBoxScreen1,    ui.ComboBoxScan1,      ui.ComboBoxOE1,
                ui.ComboBoxData1, ui.Button_h_xz,        ui.Button_h_jz,        ui.Button_h_tuoj,
                ui.ListBox_h};
    case ScreenId::s:
        return {ui.CheckBox2,     ui.RadioButtonFlash21, ui.RadioButtonFlash22, ui.UpDown3,
                ui.UpDown4,       ui.ComboBoxScreen2,    ui.ComboBoxScan2,      ui.ComboBoxOE2,
                ui.ComboBoxData2, ui.Button_s_xz,        ui.Button_s_jz,        ui.Button_s_tuoj,
                ui.ListBox_s};
    case ScreenId::x:
        break;
    }
    return {ui.CheckBox3,     ui.RadioButtonFlash31, ui.RadioButtonFlash32, ui.UpDown5,
            ui.UpDown6,       ui.ComboBoxScreen3,    ui.ComboBoxScan3,      ui.ComboBoxOE3,
            ui.ComboBoxData3, ui.Button_x_xz,        ui.Button_x_jz,        ui.Button_x_tuoj,
            ui.ListBox_x};
}

// The context menu entries of each list: (object name, caption, target).
struct MoveEntry {
    const char* name;
    const char* caption;
    ScreenId target;
};
std::array<MoveEntry, 2> MoveEntries(ScreenId from) {
    switch (from) {
    case ScreenId::h:
        return {{{"N2", "设为纵屏", ScreenId::s}, {"N3", "设为小屏", ScreenId::x}}};
    case ScreenId::s:
        return {{{"N1", "设为横屏", ScreenId::h}, {"N4", "设为小屏", ScreenId::x}}};
    case ScreenId::x:
        break;
    }
    return {{{"N5", "设为横屏", ScreenId::h}, {"N6", "设为纵屏", ScreenId::s}}};
}

} // namespace

TParamForm::TParamForm(ScreenParamControl& control, QWidget* parent)
    : QDialog(parent), m_control(control), m_ui(std::make_unique<Ui::TParamForm>()) {
    m_ui->setupUi(this);
    connect(m_ui->ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (ScreenId screen : kAllScreens) {
        const PageControls c = Controls(*m_ui, screen);
        const auto edited = [this, screen] { ControlsToPage(screen); };
        connect(c.inUse, &QCheckBox::toggled, this, edited);
        connect(c.horizontalText, &QRadioButton::toggled, this, edited);
        connect(c.width, &QSpinBox::valueChanged, this, edited);
        connect(c.height, &QSpinBox::valueChanged, this, edited);
        for (QComboBox* list : {c.colour, c.scan, c.oe, c.data}) {
            connect(list, &QComboBox::currentIndexChanged, this, edited);
        }
        connect(c.search, &QPushButton::clicked, this,
                [this, screen] { m_control.Search(screen); });
        connect(c.load, &QPushButton::clicked, this,
                [this, screen] { m_control.LoadCards(screen); });
        connect(c.makeFile, &QPushButton::clicked, this,
                [this, screen] { m_control.MakeParamFile(screen); });
        connect(c.cards, &QListWidget::itemClicked, this, [this, screen, c](QListWidgetItem* item) {
            m_control.SelectCard(screen, c.cards->row(item));
        });
        connect(c.cards, &QListWidget::customContextMenuRequested, this,
                [this, screen](const QPoint& at) { ShowCardMenu(screen, at); });

        auto* menu = new QMenu(this);
        for (const MoveEntry& entry : MoveEntries(screen)) {
            QAction* action = menu->addAction(QString::fromUtf8(entry.caption));
            action->setObjectName(QString::fromUtf8(entry.name));
            const ScreenId target = entry.target;
            connect(action, &QAction::triggered, this,
                    [this, screen, target] { m_control.MoveSelectedCard(screen, target); });
        }
        m_cardMenus[size_t(ScreenIndex(screen))] = menu;
    }
    connect(&m_control, &ScreenParamControl::pageChanged, this, &TParamForm::PageToControls);
    connect(&m_control, &ScreenParamControl::cardsChanged, this, &TParamForm::ShowCards);
    // A search and a load of one screen share its replies: while one runs,
    // neither can be started again.
    connect(&m_control, &ScreenParamControl::busyChanged, this, [this](ScreenId screen) {
        const PageControls c = Controls(*m_ui, screen);
        const bool idle = !m_control.IsBusy(screen);
        c.search->setEnabled(idle);
        c.load->setEnabled(idle);
    });
    for (ScreenId screen : kAllScreens) {
        PageToControls(screen);
        ShowCards(screen);
    }
}

TParamForm::~TParamForm() = default;

void TParamForm::setAccess(ParamAccess access) {
    const bool service = access == ParamAccess::Service;
    for (ScreenId screen : kAllScreens) {
        const PageControls c = Controls(*m_ui, screen);
        c.load->setVisible(service);
        c.makeFile->setVisible(service);
        for (QComboBox* list : {c.colour, c.scan, c.oe, c.data}) {
            list->setEnabled(service);
        }
    }
}

void TParamForm::prepareToShow() {
    m_control.LoadPagesFromSettings();
    for (ScreenId screen : kAllScreens) {
        PageToControls(screen);
        ShowCards(screen);
    }
    m_ui->PageControl1->setCurrentIndex(0);
}

QListWidget* TParamForm::CardListWidget(ScreenId screen) const {
    return Controls(*m_ui, screen).cards;
}

void TParamForm::PageToControls(ScreenId screen) {
    const TScreenParams& p = m_control.page(screen);
    const PageControls c = Controls(*m_ui, screen);
    m_syncing = true;
    c.inUse->setChecked(p.ScreenKind);
    (p.Flash == 2 ? c.verticalText : c.horizontalText)->setChecked(true);
    c.width->setValue(p.ScreenWidth);
    c.height->setValue(p.ScreenHeight);
    const auto select = [](QComboBox* list, int index) {
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    };
    select(c.colour, p.ScreenStyle);
    select(c.scan, p.ScanStyle);
    select(c.oe, p.OePol);
    select(c.data, p.DataPol);
    m_syncing = false;
    // The page holds what the controls can show (a value outside a spin box's
    // range is shown at its nearest end), so what is applied is what was seen.
    ControlsToPage(screen);
}

void TParamForm::ControlsToPage(ScreenId screen) {
    if (m_syncing) {
        return;
    }
    TScreenParams& p = m_control.page(screen);
    const PageControls c = Controls(*m_ui, screen);
    p.ScreenKind = c.inUse->isChecked();
    p.Flash = c.verticalText->isChecked() ? 2 : 1;
    p.ScreenWidth = c.width->value();
    p.ScreenHeight = c.height->value();
    const auto keep = [](QComboBox* list, int& value) {
        if (list->currentIndex() >= 0) {
            value = list->currentIndex();
        }
    };
    keep(c.colour, p.ScreenStyle);
    keep(c.scan, p.ScanStyle);
    keep(c.oe, p.OePol);
    keep(c.data, p.DataPol);
}

void TParamForm::ShowCards(ScreenId screen) {
    QListWidget* list = CardListWidget(screen);
    const CardList& cards = m_control.cards(screen);
    QStringList texts;
    for (const CardEntry& entry : cards) {
        texts << entry.id;
    }
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) {
        shown << list->item(i)->text();
    }
    if (texts != shown) {
        list->clear();
        list->addItems(texts);
    }
    const int selected = m_control.selectedCard(screen);
    if (selected >= 0 && selected < list->count()) {
        list->setCurrentRow(selected);
    } else {
        list->setCurrentRow(-1);
    }
}

void TParamForm::ShowCardMenu(ScreenId screen, const QPoint& at) {
    // The menu acts on the card under the mouse: a right-click selects it
    // first, or a move would take whichever card was clicked before. Outside
    // the rows there is no card to act on.
    QListWidget* list = CardListWidget(screen);
    QListWidgetItem* item = list->itemAt(at);
    if (item == nullptr) {
        return;
    }
    const int row = list->row(item);
    list->setCurrentRow(row);
    m_control.SelectCard(screen, row);
    m_cardMenus[size_t(ScreenIndex(screen))]->popup(list->viewport()->mapToGlobal(at));
}
