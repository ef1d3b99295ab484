#include "MainForm.h"

#include "ui_MainForm.h"

#include "ui/AboutForm.h"
#include "ui/CardStatus.h"
#include "ui/DialogAnswers.h"
#include "ui/FontForm.h"
#include "ui/GlobalHotKey.h"
#include "ui/HelpFile.h"
#include "ui/ImageBox.h"
#include "ui/LineListView.h"
#include "ui/ManualControlForm.h"
#include "ui/MonitorForm.h"
#include "ui/OfflineForm.h"
#include "ui/ParamForm.h"
#include "ui/PreviewAnimator.h"
#include "ui/PreviewForm.h"
#include "ui/TempForm.h"

#include "core/DesktopEntry.h"
#include "documents/ScriptFileWatcher.h"
#include "documents/TextEffectApply.h"
#include "link/FrameEncoding.h"
#include "offline/AdvertFile.h"
#include "playback/Mp3AudioEngine.h"
#include "render/FontCatalogue.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>
#include <array>

namespace {

const QString kTitle = QStringLiteral("舞台字幕控制系统");
const QString kNotConnected = QStringLiteral("未连接屏幕，请先点连接按钮。");

// Small pictures drawn here rather than shipped: a coloured tile with a glyph.
QIcon GlyphIcon(const QString& glyph, QColor colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    QFont font(FontCatalogue::ResolveFace(QStringLiteral("黑体")));
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// The pictures of the file list: project, MP3, lyric, "has a script",
// "has a track", plain text, subtitle file.
QIcon FileListIcon(int index) {
    static const std::array<QIcon, 7> icons{
        GlyphIcon(QStringLiteral("工"), QColor(70, 110, 180)),
        GlyphIcon(QStringLiteral("♪"), QColor(170, 80, 160)),
        GlyphIcon(QStringLiteral("词"), QColor(60, 150, 90)),
        GlyphIcon(QStringLiteral("字"), QColor(200, 120, 40)),
        GlyphIcon(QStringLiteral("♫"), QColor(190, 60, 60)),
        GlyphIcon(QStringLiteral("文"), QColor(110, 110, 110)),
        GlyphIcon(QStringLiteral("幕"), QColor(40, 130, 160)),
    };
    return index >= 0 && index < int(icons.size()) ? icons[size_t(index)] : QIcon();
}

} // namespace

TMainForm::TMainForm(StationOptions options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)), m_paths(m_options.paths()),
      m_ui(std::make_unique<Ui::TMainForm>()), m_document(m_settings),
      m_engine(Mp3AudioEngine::CreateDefault()),
      m_renderer(m_settings.ActiveSettings, m_rasteriser), m_link(m_options.link), m_worker(m_link),
      m_live(m_link, m_worker, m_settings, m_op, this), m_linkPort(m_live),
      m_screens(m_renderer, m_op),
      m_player(PlaybackController::Parts{m_settings, m_document, m_playlist, *m_engine, m_op,
                                         m_linkPort, m_screens, *this, m_heartbeat, m_lineTimer,
                                         m_nextFileTimer}),
      m_editingDialogs(this), m_editing(m_document, m_op, m_editingDialogs),
      m_paramControl(m_link, m_worker, m_settings, m_op, m_paths),
      m_offlineSender(m_link, m_worker, m_settings, m_op, m_paths),
      m_replay(m_player, m_playlist, m_document, m_renderer),
      m_offlineCommands(m_worker, m_settings, m_op, m_paths, m_replay, m_offlineSender,
                        [this] { return RenderAdvertisement(); }),
      m_remoteCommands(m_player, m_document, m_playlist, *this) {
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    SetUpWindow();
    m_op.setParentWindow(this);
    m_op.setStatusSink([this](const QString& text) { m_statusPanels[2]->setText(text); });
    m_document.setViewHooks(this);
    m_renderer.SetPreviewHost(this);
    m_renderer.SetFrameSink(&m_worker);

    RefreshMainWindow();
    m_hotKey = new GlobalHotKey(this);
    m_scriptWatcher = new ScriptFileWatcher(this);
    connect(m_scriptWatcher, &ScriptFileWatcher::changed, this,
            [this] { m_player.ReloadChangedScript(); });
    connect(m_hotKey, &GlobalHotKey::activated, this, [this] { m_live.ClearScreens(); });

    m_keyForm = new Tkey_Form(this);
    m_monitorForm = new TjianceForm(m_worker.monitor(), this);
    m_tempForm = new TTempForm(this);
    m_fontForm = new TFontForm(this);
    m_paramForm = new TParamForm(m_paramControl, this);
    m_offlineForm = new TtuojiForm(m_offlineCommands, m_offlineSender, this);
    connect(m_tempForm, &TTempForm::previewRequested, this, [this] {
        if (m_editingAdvert) {
            const AdvertStyle style = m_tempForm->style();
            for (ScreenId screen : kAllScreens) {
                m_renderer.RenderAdvert(screen, m_tempForm->row1(), m_tempForm->row2(), style);
            }
        }
    });
    connect(&m_paramControl, &ScreenParamControl::readbackFinished, this,
            &TMainForm::FinishReadback);
    connect(m_fontForm, &TFontForm::previewRequested, this, [this] {
        ApplyTextEffect();
        if (!m_document.lines().isEmpty()) {
            m_player.SelectLine(0);
        }
    });
    for (ScreenId screen : kAllScreens) {
        auto* form = new TPreviewForm(
            screen, m_paths.configFile(),
            [this, screen]() -> std::optional<QImage> {
                if (m_settings.ActiveSettings.effect(screen).Effect != 0) {
                    return std::nullopt;
                }
                return m_renderer.previewImage(screen);
            },
            this);
        connect(form, &TPreviewForm::closed, this,
                [this, screen] { PreviewPanel(screen)->show(); });
        m_previewForms[size_t(ScreenIndex(screen))] = form;
    }
    // After a press in the manual window the keyboard goes back to the line
    // list, so the next Space or Enter steps on as the operator expects.
    connect(m_keyForm, &Tkey_Form::toggleLinkPressed, this, [this] {
        m_player.ToggleLink();
        FocusLineList();
    });
    connect(m_keyForm, &Tkey_Form::previousPressed, this, [this] {
        m_player.ManualPrevious();
        FocusLineList();
    });
    connect(m_keyForm, &Tkey_Form::nextPressed, this, [this] {
        m_player.ManualNext();
        FocusLineList();
    });

    ConnectCommands();
    SetUpShowSession();
    SetUpRemote();
    SetUpOutputs();
    SetUpFailover();
    CreateDesktopShortcut(false);
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    // No remote command or peer station may arrive while the engines go.
    m_remote.reset();
    m_failover.reset();
    m_renderer.SetLineObserver(nullptr);
    m_monitors.reset();
    // The worker reports to the monitor window; it must be gone first. The
    // small windows refer to the engines, which end before the QWidget base
    // would delete its children, so they go now.
    m_worker.Terminate();
    delete m_monitorForm;
    delete m_keyForm;
    delete m_tempForm;
    delete m_fontForm;
    delete m_paramForm;
    delete m_offlineForm;
    delete m_hotKey;
    for (TPreviewForm*& form : m_previewForms) {
        delete form;
        form = nullptr;
    }
    m_animator.reset();
    m_renderer.SetPreviewHost(nullptr);
    m_document.setViewHooks(nullptr);
}

// ---- window set-up

void TMainForm::SetUpWindow() {
    FontCatalogue::InstallSubstitutions();
    m_ui->setupUi(this);
    QFont face(FontCatalogue::ResolveFace(QStringLiteral("宋体")));
    face.setPixelSize(12);
    setFont(face);

    SetUpToolbar();
    for (int i = 0; i < 3; ++i) {
        m_statusPanels[size_t(i)] = new QLabel(this);
        m_statusPanels[size_t(i)]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    m_statusPanels[0]->setFixedWidth(200);
    m_statusPanels[1]->setFixedWidth(180);
    m_statusPanels[2]->setMinimumWidth(200);
    statusBar()->addWidget(m_statusPanels[0]);
    statusBar()->addWidget(m_statusPanels[1]);
    statusBar()->addWidget(m_statusPanels[2], 1);
    m_cardStatus = new CardStatusPanel(
        m_worker, [this] { return m_live.IsConnected(); }, this);
    statusBar()->addPermanentWidget(m_cardStatus);

    QTreeWidget* files = m_ui->ListViewFileList;
    files->setColumnWidth(0, 135);
    files->setColumnWidth(1, 20);
    files->setColumnWidth(2, 20);
    files->setSelectionMode(QAbstractItemView::SingleSelection);
    files->setIconSize(QSize(16, 16));
    // No button, tab or file list keeps the keyboard: a show key pressed
    // there would close the link, switch the page (which disconnects) or open
    // another entry. Mouse clicks work all the same.
    files->setFocusPolicy(Qt::NoFocus);
    m_ui->PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        button->setFocusPolicy(Qt::NoFocus);
    }

    m_ui->CButtonPlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_ui->CButtonPlayFromHere->setIcon(style()->standardIcon(QStyle::SP_MediaSeekForward));
    m_ui->CButtonPause->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    m_ui->CButtonStop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_ui->CButtonNew->setIcon(GlyphIcon(QStringLiteral("新"), QColor(70, 110, 180)));
    m_ui->CButtonAdd->setIcon(GlyphIcon(QStringLiteral("+"), QColor(60, 150, 90)));
    m_ui->CButtonDel->setIcon(GlyphIcon(QStringLiteral("−"), QColor(190, 60, 60)));

    m_fileListMenu = new QMenu(this);
    QAction* up = m_fileListMenu->addAction(QStringLiteral("上移"));
    up->setObjectName(QStringLiteral("MPopUp"));
    QAction* down = m_fileListMenu->addAction(QStringLiteral("下移"));
    down->setObjectName(QStringLiteral("MPopDown"));
    connect(up, &QAction::triggered, this, [this] { m_player.MoveEntry(-1); });
    connect(down, &QAction::triggered, this, [this] { m_player.MoveEntry(+1); });

    // The client area of 1008 × 646 holds toolbar, panels and status line;
    // the menu bar comes on top of it.
    resize(1008, 646 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - rect().center());
    }

    m_animator = std::make_unique<PreviewAnimator>(
        m_renderer, m_settings, [] { return std::make_unique<QtControllerTimer>(); },
        [this](ScreenId screen) { PreviewChanged(screen); });
}

void TMainForm::SetUpToolbar() {
    QToolBar* bar = m_ui->ToolBar1;
    bar->setFixedHeight(39);
    const auto icon = [this](QStyle::StandardPixmap pixmap) {
        return style()->standardIcon(pixmap);
    };
    m_ui->ButtonNew->setIcon(icon(QStyle::SP_FileIcon));
    m_ui->ButtonOpen->setIcon(icon(QStyle::SP_DialogOpenButton));
    m_ui->ButtonSave->setIcon(icon(QStyle::SP_DialogSaveButton));
    m_ui->ButtonSaveAs->setIcon(icon(QStyle::SP_DriveFDIcon));
    m_ui->ButtonText->setIcon(icon(QStyle::SP_ComputerIcon));
    m_ui->ToolButton4->setIcon(icon(QStyle::SP_BrowserReload));
    m_ui->ButtonFont->setIcon(GlyphIcon(QStringLiteral("A"), QColor(200, 120, 40)));
    m_ui->ButtonLight->setIcon(GlyphIcon(QStringLiteral("☀"), QColor(220, 170, 0)));
    m_ui->ButtonSyn->setIcon(icon(QStyle::SP_DriveHDIcon));
    m_ui->ButtonAbout->setIcon(icon(QStyle::SP_MessageBoxInformation));
    m_ui->ButtonExit->setIcon(icon(QStyle::SP_DialogCloseButton));
    for (QAction* action : bar->actions()) {
        if (QWidget* button = bar->widgetForAction(action); button && !action->isSeparator()) {
            button->setObjectName(action->objectName());
            button->setFixedSize(55, 35);
            button->setFocusPolicy(Qt::NoFocus);
        }
    }
    // The link and temporary-text keys work from the manual control window too.
    m_ui->MenuSent->setShortcutContext(Qt::ApplicationShortcut);
    m_ui->MenuSendTempText->setShortcutContext(Qt::ApplicationShortcut);
    m_ui->MenuDarker->setShortcutContext(Qt::ApplicationShortcut);
}

void TMainForm::ConnectCommands() {
    const auto on = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this, handler);
    };
    Ui::TMainForm& ui = *m_ui;
    on(ui.MenuNew, [this] { m_player.NewPlaylist(); });
    on(ui.ButtonNew, [this] { m_player.NewPlaylist(); });
    on(ui.MenuOpen, [this] { m_player.OpenPlaylist(); });
    on(ui.ButtonOpen, [this] { m_player.OpenPlaylist(); });
    on(ui.MenuSave, [this] { m_player.SavePlaylist(); });
    on(ui.ButtonSave, [this] { m_player.SavePlaylist(); });
    on(ui.MenuSaveAs, [this] { m_player.SavePlaylistAs(); });
    on(ui.ButtonSaveAs, [this] { m_player.SavePlaylistAs(); });
    on(ui.N6, [this] { CreateDesktopShortcut(true); });
    on(ui.MenuExit, [this] { close(); });
    on(ui.ButtonExit, [this] { close(); });

    on(ui.MenuOptions, [this] { OpenScreenParams(); });
    on(ui.ButtonText, [this] { OpenScreenParams(); });
    on(ui.ToolButton4, [this] { StartReadback(); });
    on(ui.MenuFont, [this] { EditTextEffect(); });
    on(ui.ButtonFont, [this] { EditTextEffect(); });
    on(ui.MenuBackText, [this] { EditAdvertisement(); });
    on(ui.MenuBackImage, [this] { NotAvailable(QStringLiteral("设置脱机图像")); });
    on(ui.MenuReset, [this] { m_live.Reset(); });

    on(ui.MenuSent, [this] { m_live.ToggleConnection(); });
    on(ui.ButtonSent, [this] { m_live.ToggleConnection(); });
    on(ui.MenuLight, [this] { m_live.StepBrightness(); });
    on(ui.ButtonLight, [this] { m_live.StepBrightness(); });
    on(ui.MenuDarker, [this] { m_live.LowerBrightness(); });
    on(ui.MenuSynSwitch, [this] { m_live.SwitchOfflineSync(); });
    on(ui.ButtonSyn, [this] { m_live.SwitchOfflineSync(); });
    on(ui.MenuClearScreen, [this] { m_live.ClearScreens(); });
    on(ui.MenuSendTempText, [this] { SendTempText(); });
    on(ui.N7, [this] {
        m_monitorForm->show();
        m_monitorForm->raise();
    });
    on(ui.MenuHelpDoc, [this] { OpenHelp(); });
    on(ui.MenuAbout, [this] { ShowAbout(); });
    on(ui.ButtonAbout, [this] { ShowAbout(); });

    connect(ui.CButtonPlay, &QToolButton::clicked, this, [this] { m_player.PlayFromStart(); });
    connect(ui.CButtonPlayFromHere, &QToolButton::clicked, this, [this] { m_player.Continue(); });
    connect(ui.CButtonPause, &QToolButton::clicked, this, [this] { m_player.Pause(); });
    connect(ui.CButtonStop, &QToolButton::clicked, this, [this] { m_player.Stop(); });
    connect(ui.CButtonNew, &QToolButton::clicked, this, [this] { NewSubtitle(); });
    connect(ui.CButtonAdd, &QToolButton::clicked, this, [this] { m_player.AddEntry(); });
    connect(ui.CButtonDel, &QToolButton::clicked, this, [this] { m_player.RemoveEntry(); });
    connect(ui.ListViewFileList, &QTreeWidget::itemSelectionChanged, this,
            [this] { OnEntrySelectionChanged(); });
    connect(ui.ListViewFileList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowFileListMenu(at); });

    connect(ui.ComboBoxPlayMode, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_syncing) {
            m_settings.Play.AutoPlayLoopMode = index;
        }
    });
    connect(ui.CheckBoxAutoCaption, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_syncing) {
            m_settings.Play.AutoPlayCaption = on;
        }
    });
    connect(ui.UpDown1, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_syncing) {
            m_settings.Play.AutoPlayTimeFile = value;
        }
    });
    connect(ui.UpDown2, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_syncing) {
            m_settings.Play.AutoPlayTimeText = value;
        }
    });

    connect(ui.ListView1, &LineListView::lineChosen, this,
            [this](qsizetype index) { m_player.ChooseLine(index); });
    // A click on the line already selected moves no selection; while recording
    // it still takes the line's time.
    connect(ui.ListView1, &LineListView::lineClicked, this, [this](qsizetype index) {
        if (m_player.state() == PlayerState::Recording && index == m_player.selectedLine()) {
            m_player.ChooseLine(index);
        }
    });
    connect(ui.ListView1, &LineListView::stepRequested, this, [this] { m_player.StepByKey(+1); });
    connect(ui.ProgressBarPlay, &SeekBar::pressedAt, this,
            [this](int x, int width) { m_player.SeekTo(x, width); });
    for (ScreenId screen : kAllScreens) {
        connect(PreviewImage(screen), &ImageBox::doubleClicked, this,
                [this, screen] { OpenPreviewWindow(screen); });
    }
    const auto edit = [this](QPushButton* button, auto command) {
        connect(button, &QPushButton::clicked, this, [this, command] { FinishEdit(command()); });
    };
    edit(ui.EButtonInput, [this] { return m_editing.Import(); });
    edit(ui.EButtonEdit, [this] { return m_editing.EditWhole(); });
    edit(ui.EButtonInsert, [this] { return m_editing.Insert(m_player.selectedLine()); });
    edit(ui.EButtonModify, [this] { return m_editing.Modify(m_player.selectedLine()); });
    edit(ui.EButtonDelete, [this] { return m_editing.Delete(m_player.selectedLine()); });
    connect(ui.EButtonSave, &QPushButton::clicked, this, [this] {
        m_editing.Save();
        RefreshMainWindow();
    });
    connect(ui.EButtonRecordStart, &QPushButton::clicked, this,
            [this] { m_player.StartRecording(); });
    connect(ui.EButtonRecordStop, &QPushButton::clicked, this,
            [this] { m_player.StopRecording(); });
    connect(ui.PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { OnPageChanged(index); });
}

// ---- start-up

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FirstShow();
    }
}

void TMainForm::FirstShow() {
    LoadAndApplyConfig(m_settings, m_paths.configFile());
    ShowBrightness();
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& p = m_settings.ActiveSettings.screen(screen);
        m_worker.SetLinkScreenParams(screen, p);
    }
    SettingsToControls();
    RefreshMainWindow();
    SizePreviews();
    RenderEmptyRows();
    // The last playlist, or after an unclean end the show as it stood.
    const bool showToFinish = m_show->StartUp();
    ApplyRemoteSettings();
    ApplyOutputSettings();
    StartFailover();
    m_player.Start();
    // Below the main window, where the operator's hand rests, unless the
    // desktop is too small; the window manager may still move it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        const int x = available.center().x() - m_keyForm->width() / 2;
        const int y = std::min(frameGeometry().bottom() + 8,
                               available.bottom() - m_keyForm->frameGeometry().height());
        m_keyForm->move(std::max(available.left(), x), std::max(available.top(), y));
    }
    m_keyForm->show();
    FocusLineList();
    m_op.SetStatus(m_hotKey->statusNote());
    if (showToFinish || !m_options.openFile.isEmpty()) {
        // Once the window runs: the link and the questions need its events.
        // A file the station was asked to open comes after the show that
        // was running has been brought back.
        QTimer::singleShot(0, this, [this, showToFinish] {
            if (showToFinish) {
                // A station told to be main that is still asking its peer
                // must not connect before it knows no other one does.
                if (m_failover->deciding()) {
                    m_finishWhenDecided = true;
                } else {
                    m_show->FinishStartUp();
                }
            }
            if (!m_options.openFile.isEmpty()) {
                m_player.OpenFile(m_options.openFile);
                FocusLineList();
            }
        });
    }
}

void TMainForm::SettingsToControls() {
    m_syncing = true;
    const TPlayOptions& play = m_settings.Play;
    m_ui->ComboBoxPlayMode->setCurrentIndex(
        play.AutoPlayLoopMode >= 0 && play.AutoPlayLoopMode <= 3 ? play.AutoPlayLoopMode : -1);
    m_ui->CheckBoxAutoCaption->setChecked(play.AutoPlayCaption);
    m_ui->UpDown1->setValue(play.AutoPlayTimeFile);
    m_ui->UpDown2->setValue(play.AutoPlayTimeText);
    m_syncing = false;
}

void TMainForm::CreateDesktopShortcut(bool command) {
    // A shortcut starts the station on the real network: a rehearsal or a run
    // on loopback must not leave one behind that an operator would take for it.
    if (m_options.linkOnLoopback()) {
        if (command) {
            m_op.SetStatus(QStringLiteral("演练时不创建桌面快捷方式"));
        }
        return;
    }
    // An installed station is in the desktop's menu already; a second way in
    // on the desktop is the operator's to ask for (the menu command). A
    // station with a home of its own still gets one: the menu entry would
    // open the user's places, not that home.
    if (!command && m_options.home.isEmpty() && !InstalledMenuEntry().isEmpty()) {
        return;
    }
    const QString desktop =
        m_options.desktopDir.isEmpty() ? UserDesktopDirectory() : m_options.desktopDir;
    // The shortcut opens this station's own home, whatever folder it was
    // started with.
    QStringList arguments;
    if (!m_options.home.isEmpty()) {
        arguments << QStringLiteral("--home") << m_options.home;
    }
    const DesktopEntryResult result =
        CreateDesktopEntry(desktop, QCoreApplication::applicationFilePath(),
                           QCoreApplication::applicationDirPath(), arguments);
    // A machine without a desktop folder has nowhere to put one; only the
    // command itself says so.
    if (result == DesktopEntryResult::Failed ||
        (command && result == DesktopEntryResult::NoDesktop)) {
        m_op.Inform(QStringLiteral("创建快捷方式失败!"));
    }
}

// ---- refresh

void TMainForm::RefreshMainWindow() {
    Ui::TMainForm& ui = *m_ui;
    const QString path = m_playlist.path();
    setWindowTitle(kTitle + QStringLiteral(" -- [") +
                   (path.isEmpty() ? QStringLiteral("未命名.lft") : path) + QStringLiteral("]"));
    m_statusPanels[0]->setText(QStringLiteral("Space/Enter=发送; F4=清屏"));
    // A rehearsal must never be taken for the show: the link on loopback
    // reaches no real screen.
    m_statusPanels[1]->setText(m_options.linkOnLoopback() ? QStringLiteral("演练") : QString());

    const bool linkOpen = m_live.IsConnected();
    ui.MenuSent->setText(linkOpen ? QStringLiteral("断开字幕机") : QStringLiteral("连接字幕机"));
    ui.ButtonSent->setText(linkOpen ? QStringLiteral("断开") : QStringLiteral("连接"));
    ui.ButtonSent->setIcon(
        style()->standardIcon(linkOpen ? QStyle::SP_BrowserStop : QStyle::SP_DriveNetIcon));
    ui.ButtonSyn->setText(QStringLiteral("脱机"));

    const PlayerButtons buttons = m_player.buttons();
    ui.CButtonPlay->setEnabled(buttons.play);
    ui.CButtonPlayFromHere->setEnabled(buttons.playFromHere);
    ui.CButtonPause->setEnabled(buttons.pause);
    ui.CButtonStop->setEnabled(buttons.stop);
    for (QWidget* control :
         {static_cast<QWidget*>(ui.CButtonNew), static_cast<QWidget*>(ui.CButtonAdd),
          static_cast<QWidget*>(ui.CButtonDel), static_cast<QWidget*>(ui.ListViewFileList),
          static_cast<QWidget*>(ui.ComboBoxPlayMode), static_cast<QWidget*>(ui.CheckBoxAutoCaption),
          static_cast<QWidget*>(ui.UpDown1), static_cast<QWidget*>(ui.UpDown2),
          static_cast<QWidget*>(ui.LabelFileInterval), static_cast<QWidget*>(ui.LabelTextInterval),
          static_cast<QWidget*>(ui.LabelUnit)}) {
        control->setEnabled(buttons.playlistControls);
    }

    const SubtitleDocument& document = m_document.document();
    ui.LabelCurrentFile->setText(document.isOpen() ? QFileInfo(document.path).fileName()
                                                   : QStringLiteral("(无字幕文件)"));
    const PlayerState state = m_player.state();
    ui.EButtonRecordStart->setEnabled(document.isOpen() && !m_player.trackPath().isEmpty() &&
                                      state == PlayerState::Ready);
    ui.EButtonRecordStop->setEnabled(state == PlayerState::Recording);
    const bool editing = document.isOpen() && state == PlayerState::Ready && !linkOpen;
    for (QPushButton* button : {ui.EButtonInput, ui.EButtonEdit, ui.EButtonInsert, ui.EButtonModify,
                                ui.EButtonDelete, ui.EButtonSave}) {
        button->setEnabled(editing);
    }

    SyncPlaylistRows();
    SyncLineList();
    if (m_show) {
        m_show->CaptureSoon();
    }
    m_remoteCommands.StateMayHaveChanged();
}

void TMainForm::SyncLineList() {
    const Rgb colour = LineListTextColour(m_settings.ActiveSettings.effect(ScreenId::h).Color);
    m_ui->ListView1->SetTextStyle(QColor(colour.r, colour.g, colour.b),
                                  m_settings.ActiveSettings.Text.Align);
    m_ui->ListView1->ShowLines(m_document.lines(), m_document.document().kind,
                               m_player.lyricColumns());
}

void TMainForm::SyncPlaylistRows() {
    if (m_playlist.rows() == m_shownRows) {
        return;
    }
    m_syncing = true;
    m_shownRows = m_playlist.rows();
    QTreeWidget* files = m_ui->ListViewFileList;
    files->clear();
    for (const PlaylistRow& row : m_shownRows) {
        auto* item = new QTreeWidgetItem(files);
        item->setText(0, row.name);
        item->setIcon(0, FileListIcon(row.icon));
        item->setIcon(1, FileListIcon(row.firstMarker));
        item->setIcon(2, FileListIcon(row.secondMarker));
    }
    const qsizetype selected = m_player.selectedEntry();
    if (selected >= 0 && selected < files->topLevelItemCount()) {
        files->setCurrentItem(files->topLevelItem(int(selected)));
    }
    m_syncing = false;
}

// ---- PlaybackView

void TMainForm::ShowLineSelection(qsizetype index, qsizetype scrollTo) {
    SyncLineList();
    m_ui->ListView1->ShowSelection(index, scrollTo);
    m_show->CaptureSoon();
    m_remoteCommands.StateMayHaveChanged();
}

void TMainForm::ShowPlaylistSelection(qsizetype row) {
    SyncPlaylistRows();
    m_syncing = true;
    QTreeWidget* files = m_ui->ListViewFileList;
    if (row >= 0 && row < files->topLevelItemCount()) {
        QTreeWidgetItem* item = files->topLevelItem(int(row));
        files->setCurrentItem(item);
        files->scrollToItem(item);
        if (m_shown) {
            FocusLineList();
        }
    } else {
        files->clearSelection();
        files->setCurrentItem(nullptr);
    }
    m_syncing = false;
}

void TMainForm::OnEntrySelectionChanged() {
    if (m_syncing) {
        return;
    }
    const QList<QTreeWidgetItem*> selected = m_ui->ListViewFileList->selectedItems();
    const qsizetype row =
        selected.isEmpty() ? -1 : m_ui->ListViewFileList->indexOfTopLevelItem(selected.first());
    if (row != m_player.selectedEntry()) {
        m_player.SelectEntry(row);
        FocusLineList();
    }
}

void TMainForm::ShowFileListMenu(const QPoint& at) {
    const bool movable = m_player.buttons().moveEntries;
    for (QAction* action : m_fileListMenu->actions()) {
        action->setEnabled(movable);
    }
    m_fileListMenu->popup(m_ui->ListViewFileList->viewport()->mapToGlobal(at));
}

void TMainForm::MetersUpdated() {
    // Ten pictures a second: an idle station repaints nothing.
    for (const auto& [box, frame] : {std::pair{m_ui->PaintBox2, &m_player.spectrum().frame()},
                                     std::pair{m_ui->PaintBox3, &m_player.volume().frame()}}) {
        if (box->image() != *frame) {
            box->setImage(*frame);
        }
    }
    m_ui->ProgressBarPlay->setValue(m_player.progress());
    m_show->OnHeartbeat();
}

// ---- LiveControlHost

std::optional<QString> TMainForm::ReselectLine() {
    return m_player.ResendSelectedLine();
}

void TMainForm::StopPlayback() {
    const PlayerState state = m_player.state();
    if (state == PlayerState::Playing || state == PlayerState::Paused) {
        m_player.Stop();
    }
}

void TMainForm::RenderEmptyLine(ScreenId screen) {
    m_renderer.RenderSubtitle(screen, QString(), QString());
    m_show->NoteScreensCleared();
}

void TMainForm::ShowBrightnessCaption(const QString&) {
    ShowBrightness();
}

void TMainForm::ShowBrightness() {
    const int level = m_live.BrightnessLevel();
    m_ui->ButtonLight->setText(LiveControl::BrightnessCaption(level));
    // The previews show what the audience sees: nothing at level 0.
    for (ScreenId screen : kAllScreens) {
        PreviewImage(screen)->setDark(level == 0);
        m_previewForms[size_t(ScreenIndex(screen))]->SetDark(level == 0);
    }
    m_show->CaptureSoon();
    m_remoteCommands.StateMayHaveChanged();
}

void TMainForm::ShowOfflineTransfer() {
    RunModal(*m_offlineForm);
    RefreshMainWindow();
}

// ---- previews

ImageBox* TMainForm::PreviewImage(ScreenId screen) const {
    switch (screen) {
    case ScreenId::h:
        return m_ui->Image1;
    case ScreenId::s:
        return m_ui->Image2;
    case ScreenId::x:
        return m_ui->Image3;
    }
    return nullptr;
}

void TMainForm::SizePreviews() {
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& p = m_settings.ActiveSettings.screen(screen);
        ImageBox* image = PreviewImage(screen);
        image->setPictureSize(std::clamp(p.ScreenWidth, 1, TextRenderer::kMaxScreenSide),
                              std::clamp(p.ScreenHeight, 1, TextRenderer::kMaxScreenSide));
        image->setVisible(p.ScreenKind);
        m_previewShown[size_t(ScreenIndex(screen))] = p.ScreenKind;
    }
}

bool TMainForm::IsPreviewShown(ScreenId screen) const {
    return m_previewShown[size_t(ScreenIndex(screen))];
}

void TMainForm::PreviewChanged(ScreenId screen) {
    const QImage& preview = m_renderer.previewImage(screen);
    PreviewImage(screen)->setImage(preview);
    m_previewForms[size_t(ScreenIndex(screen))]->ShowPicture(preview);
}

void TMainForm::StopEffectTimer(ScreenId screen, EffectTimer timer) {
    m_animator->Stop(screen, timer);
}

void TMainForm::StartEffectTimer(ScreenId screen, EffectTimer timer) {
    m_animator->Start(screen, timer);
}

QWidget* TMainForm::PreviewPanel(ScreenId screen) const {
    switch (screen) {
    case ScreenId::h:
        return m_ui->Panel2;
    case ScreenId::s:
        return m_ui->Panel3;
    case ScreenId::x:
        return m_ui->Panel4;
    }
    return nullptr;
}

void TMainForm::OpenPreviewWindow(ScreenId screen) {
    TPreviewForm* form = m_previewForms[size_t(ScreenIndex(screen))];
    form->Open(PreviewImage(screen)->size());
    PreviewPanel(screen)->hide();
}

// ---- DocumentViewHooks

void TMainForm::DocumentLoaded(DocumentKind) {
    SizePreviews();
    if (m_scriptWatcher) {
        m_scriptWatcher->Follow(m_document.document().path);
    }
}

void TMainForm::RenderEmptyRows() {
    for (ScreenId screen : kAllScreens) {
        m_renderer.RenderSubtitle(screen, QString(), QString());
    }
}

// ---- pages

void TMainForm::OnPageChanged(int index) {
    const int previous = m_currentPage;
    m_currentPage = index;
    if (m_live.IsConnected()) {
        m_live.Disconnect();
    }
    if (index == 0 && previous == 1 && !LeaveEditing()) {
        // The save failed: the edits stay, and so does the page that shows
        // them, instead of the playlist where one click on another entry
        // would drop them without a word.
        m_currentPage = 1;
        const QSignalBlocker blocker(m_ui->PageControl1);
        m_ui->PageControl1->setCurrentIndex(1);
    }
    RefreshMainWindow();
}

bool TMainForm::LeaveEditing() {
    // A recording goes on only while its page is shown.
    if (m_player.state() == PlayerState::Recording) {
        m_player.StopRecording();
    }
    if (!m_document.document().modified) {
        return true;
    }
    m_document.ResolveChangesOnLeave(m_op);
    // Saved or read again: the list was rebuilt and has no selection.
    m_player.ForgetLineSelection();
    return !m_document.document().modified;
}

void TMainForm::FinishEdit(const EditOutcome& outcome) {
    if (!outcome.changed) {
        return;
    }
    m_player.ForgetLineSelection();
    RenderEmptyRows();
    RefreshMainWindow();
    if (outcome.select >= 0) {
        m_player.SelectLine(outcome.select);
    }
}

void TMainForm::NewSubtitle() {
    if (m_player.NewSubtitleFile(m_editingDialogs)) {
        m_ui->PageControl1->setCurrentIndex(1);
    }
    RefreshMainWindow();
}

// ---- commands with windows of their own

void TMainForm::SendTempText() {
    if (!m_live.IsConnected()) {
        m_op.Inform(QStringLiteral("请先连接字幕机再发送临时信息。"));
        return;
    }
    // The dialog is shared with the stand-by advertisement; a temporary
    // message starts from the last message, not from the advertisement text,
    // and never changes the advertisement's settings.
    TAdSettings shown = m_settings.Ad;
    shown.hang1 = m_tempRows[0];
    shown.hang2 = m_tempRows[1];
    m_tempForm->loadSettings(shown);
    m_tempForm->rebuildColourList(m_settings.ActiveSettings.screen(ScreenId::h).ScreenStyle, true);
    m_tempForm->setCaption(QStringLiteral("发送临时信息"));
    if (RunModal(*m_tempForm) != QDialog::Accepted) {
        return;
    }
    m_tempColour = m_tempForm->colourIndex();
    RenderTempText(m_tempForm->row1(), m_tempForm->row2(), m_tempColour);
}

void TMainForm::ShowTempText(const QString& row1, const QString& row2) {
    RenderTempText(row1, row2, m_tempColour);
}

void TMainForm::RenderTempText(const QString& row1, const QString& row2, int colour) {
    m_tempRows = {row1, row2};
    for (ScreenId screen : kAllScreens) {
        m_renderer.RenderTempText(screen, row1, row2, colour);
    }
    m_show->NoteTempText({row1, row2, colour});
    m_op.SetStatus(m_live.IsConnected()
                       ? QStringLiteral("【字幕】 ") + row1 + QStringLiteral("   ") + row2
                       : kNotConnected);
}

void TMainForm::EditTextEffect() {
    if (m_live.RefuseWhileConnected()) {
        return;
    }
    m_fontForm->loadFrom(m_settings);
    // Opening may have turned a single-colour screen red: the line list follows.
    RefreshMainWindow();
    if (RunModal(*m_fontForm) == QDialog::Accepted) {
        ApplyTextEffect();
    }
}

// ---- stand-by advertisement

void TMainForm::EditAdvertisement() {
    if (m_live.RefuseWhileConnected()) {
        return;
    }
    m_player.setDialogBusy(true);
    const std::optional<QString> password =
        m_op.AskText(QStringLiteral("密码"), QStringLiteral("请输入密码："), QString(), true);
    if (password && *password == QLatin1String("527")) {
        m_tempForm->loadSettings(m_settings.Ad);
        m_tempForm->rebuildColourList(m_settings.ActiveSettings.screen(ScreenId::h).ScreenStyle,
                                      true);
        m_tempForm->setCaption(QStringLiteral("设置脱机文字"));
        m_editingAdvert = true;
        const bool accepted = RunModal(*m_tempForm) == QDialog::Accepted;
        m_editingAdvert = false;
        // The controls hold the advertisement whichever way the dialog closed.
        m_tempForm->storeSettings(m_settings.Ad);
        if (accepted) {
            m_offlineCommands.SendAdvertisementEverywhere();
            m_op.SetStatus(QStringLiteral("发送脱机文字命令完毕"));
        }
    } else if (password && !password->isEmpty()) {
        m_op.Inform(QStringLiteral("密码错误！"));
    }
    m_player.setDialogBusy(false);
}

std::array<bool, 3> TMainForm::RenderAdvertisement() {
    const AdvertStyle style = AdvertStyleFromSettings(m_settings.Ad, m_tempForm->faces());
    std::array<bool, 3> rendered{};
    for (ScreenId screen : kAllScreens) {
        const RenderOutcome outcome =
            m_renderer.RenderAdvert(screen, m_settings.Ad.hang1, m_settings.Ad.hang2, style);
        if (outcome.failed()) {
            m_op.Inform(outcome.message);
        }
        rendered[size_t(ScreenIndex(screen))] = outcome.status == RenderOutcome::Status::Rendered;
    }
    return rendered;
}

// ---- screen parameters

void TMainForm::OpenScreenParams() {
    if (m_live.RefuseWhileConnected()) {
        return;
    }
    m_player.setDialogBusy(true);
    const std::optional<QString> password =
        m_op.AskText(QStringLiteral("密码"), QStringLiteral("请输入密码："), QString(), true);
    const std::optional<ParamAccess> access =
        password ? ParamAccessFor(*password) : std::optional<ParamAccess>();
    if (password && !password->isEmpty() && !access) {
        m_op.Inform(QStringLiteral("密码错误！"));
    }
    if (access) {
        m_paramForm->setAccess(*access);
        m_paramForm->prepareToShow();
        if (RunModal(*m_paramForm) == QDialog::Accepted) {
            ApplyScreenSettings(true);
        }
    }
    m_player.setDialogBusy(false);
}

void TMainForm::StartReadback() {
    if (m_live.RefuseWhileConnected() || m_paramControl.IsReadingBack()) {
        return;
    }
    m_paramControl.Readback();
}

void TMainForm::FinishReadback(const std::array<int, 3>& counts) {
    ApplyScreenSettings(false);
    m_op.Inform(ReadbackMessage(counts));
}

void TMainForm::ApplyScreenSettings(bool withOrientation) {
    m_paramControl.CopyPagesToSettings(withOrientation);
    // The worker encodes with the screens' scan and colour: without this a
    // changed scan would be sent the old way until the station restarts.
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& p = m_settings.ActiveSettings.screen(screen);
        m_worker.SetLinkScreenParams(screen, p);
        m_worker.SetScreenInUse(screen, p.ScreenKind);
        m_ddp.SetScreenSize(screen, p.ScreenWidth, p.ScreenHeight);
    }
    SizePreviews();
    const IoStatus kept = ApplyScreenSettingsToDocument(m_settings, m_document);
    m_player.ForgetLineSelection();
    RenderEmptyRows();
    RefreshMainWindow();
    m_op.SetStatus(m_live.IsConnected() ? QStringLiteral("发送设置命令完毕") : kNotConnected);
    if (!kept) {
        m_op.ShowError(kept.message);
    }
}

void TMainForm::ApplyTextEffect() {
    m_fontForm->storeInto(m_settings.ActiveSettings);
    const IoStatus kept = ApplyTextEffectSettings(m_settings, m_document);
    // The rebuilt list has no selection yet.
    m_player.ForgetLineSelection();
    RenderEmptyRows();
    RefreshMainWindow();
    if (!kept) {
        // The settings are in use all the same; the operator must know that
        // the project file on disk does not hold them.
        m_op.ShowError(kept.message);
    }
}

void TMainForm::OpenHelp() {
    const QString help = FindHelpFile(m_paths.home(), QCoreApplication::applicationDirPath());
    if (help.isEmpty()) {
        m_op.SetStatus(QStringLiteral("找不到帮助文件：") + kHelpFileName);
        return;
    }
    if (!openUrl(QUrl::fromLocalFile(help))) {
        // No program on this desktop opens the manual: say where it is.
        m_op.SetStatus(QStringLiteral("没有可以打开帮助文件的程序：") + help);
    }
}

void TMainForm::ShowAbout() {
    TAboutForm about(this);
    RunModal(about);
}

void TMainForm::NotAvailable(const QString& command) {
    m_op.Inform(QStringLiteral("“") + command + QStringLiteral("”在此版本中尚不可用。"));
}

QString TMainForm::statusText(int panel) const {
    return panel >= 0 && panel < 3 ? m_statusPanels[size_t(panel)]->text() : QString();
}

// ---- keys

bool TMainForm::OwnsShowKeys(const QWidget* widget) const {
    if (widget == nullptr) {
        return false;
    }
    const QWidget* window = widget->window();
    const bool stationWindow =
        window == this || window == m_keyForm ||
        std::find(m_previewForms.begin(), m_previewForms.end(), window) != m_previewForms.end();
    if (!stationWindow) {
        return false;
    }
    // Where the operator types, Space and Enter are text.
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
        qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget)) {
        return false;
    }
    const auto* combo = qobject_cast<const QComboBox*>(widget);
    return combo == nullptr || !combo->isEditable();
}

void TMainForm::FocusLineList() {
    if (!isActiveWindow()) {
        activateWindow();
    }
    m_ui->ListView1->setFocus(Qt::OtherFocusReason);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || m_closing) {
        return QMainWindow::eventFilter(watched, event);
    }
    // Inside a dialog the keys belong to the dialog: Tab moves between its
    // fields instead of skipping to the next song.
    if (QApplication::activeModalWidget() != nullptr) {
        return false;
    }
    // A backup mirrors another station's show: its keys step nothing there.
    if (FollowsAnotherStation()) {
        QWidget* focus = QApplication::focusWidget();
        return OwnsShowKeys(focus != nullptr ? focus : qobject_cast<QWidget*>(watched));
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    // The show keys step lines whatever has the focus: a button, the file
    // list or the play-mode box must never take Space or Enter for a press
    // that closes the link or opens another entry.
    const int code = key->key();
    const bool forward = code == Qt::Key_Space || code == Qt::Key_Return || code == Qt::Key_Enter ||
                         code == Qt::Key_PageDown;
    if (forward || code == Qt::Key_PageUp) {
        // Judged by the widget with the focus, not by the one the key has
        // reached: a key a field does not use travels on to its parents.
        QWidget* focus = QApplication::focusWidget();
        if (!OwnsShowKeys(focus != nullptr ? focus : qobject_cast<QWidget*>(watched))) {
            return false;
        }
        m_player.StepByKey(forward ? +1 : -1);
        return true;
    }
    static constexpr std::array<std::pair<int, PlayerKey>, 4> kKeys{{
        {Qt::Key_Tab, PlayerKey::Tab},
        {Qt::Key_F1, PlayerKey::F1},
        {Qt::Key_F2, PlayerKey::F2},
        {Qt::Key_F3, PlayerKey::F3},
    }};
    const auto found = std::find_if(kKeys.begin(), kKeys.end(),
                                    [code](const auto& entry) { return entry.first == code; });
    if (found == kKeys.end()) {
        return false;
    }
    const PlayerKey playerKey = found->second;
    const bool consumed = m_player.HandleKey(playerKey);
    // The filter sees a key again for every parent it is passed on to; F1 to
    // F3 mean nothing to any control, so they end here and act once.
    return consumed || playerKey == PlayerKey::F1 || playerKey == PlayerKey::F2 ||
           playerKey == PlayerKey::F3;
}

// ---- closing

bool TMainForm::IsWaitingForCards() const {
    return m_live.IsBusy() || m_offlineCommands.IsRunning() || m_paramControl.IsBusy();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (m_closing || IsWaitingForCards()) {
        // A close that arrives while a command waits for the cards (a signal,
        // or the window's close during a connect, an offline send, a
        // parameter load or a search) is done once that command reaches its
        // next safe point: the close sequence must not stop the worker and
        // write the settings under a transfer still on its way.
        event->ignore();
        if (!m_closing) {
            // A flash transfer can take minutes: it stops after the block in
            // flight, and the card is told not to play what it holds.
            if (m_offlineCommands.IsRunning()) {
                m_offlineSender.Cancel();
            }
            QTimer::singleShot(50, this, [this] { close(); });
        }
        return;
    }
    if (!m_closed && !RunCloseSequence()) {
        // The edits of the script could not be saved: closing now would
        // lose them, so the station stays open with them, as leaving the
        // editing page does.
        event->ignore();
        return;
    }
    event->accept();
    m_keyForm->close();
    m_monitorForm->close();
    emit stationClosed();
}

bool TMainForm::RunCloseSequence() {
    m_closing = true;
    // A recording ends before the edits it made are offered.
    if (m_player.state() == PlayerState::Recording) {
        m_player.StopRecording();
    }
    // Edits of the script are offered for saving as on leaving their page;
    // closing must not be the one way to lose an hour's work unasked. A close
    // nobody can be asked about keeps them beside the script instead (at its
    // end, below).
    if (m_document.document().modified && !m_unattendedClose &&
        !m_document.ResolveChangesOnLeave(m_op)) {
        m_closing = false;
        RefreshMainWindow();
        return false;
    }
    // From here on nothing from outside may step a line or touch the link.
    m_remote->StopAll();
    // The close request: the link, the playlist, the worker.
    if (m_live.IsConnected()) {
        m_live.Disconnect();
    }
    // A backup's list is the main station's, kept in its data folder: not
    // the operator's to save or to open at the next start.
    if (!FollowsAnotherStation()) {
        m_player.ShutDownPlaylist();
    }
    // The close itself.
    const PlayerState state = m_player.state();
    if (state == PlayerState::Playing || state == PlayerState::Paused) {
        m_player.Stop();
    }
    if (m_live.IsConnected()) {
        m_live.Disconnect();
    }
    // Open preview windows keep their place: they write it as they close.
    for (TPreviewForm* form : m_previewForms) {
        if (form->isVisible()) {
            form->close();
        }
    }
    const IoStatus saved = SaveConfig(m_settings, m_paths.configFile());
    if (!saved) {
        m_op.ShowError(saved.message);
    }
    m_heartbeat.Stop();
    m_lineTimer.Stop();
    m_nextFileTimer.Stop();
    m_worker.Terminate();
    // The clean mark: the next start begins anew.
    if (m_unattendedClose) {
        m_show->EndUnattended();
    } else {
        m_show->EndAfterClose();
    }
    m_closing = false;
    m_closed = true;
    return true;
}
