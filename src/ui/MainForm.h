#pragma once

#include "ui/StationOptions.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "documents/ScriptEditing.h"
#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "link/StationLink.h"
#include "offline/OfflineCommands.h"
#include "offline/OfflineSender.h"
#include "offline/ScreenParamControl.h"
#include "outputs/DdpOutput.h"
#include "playback/AudioEngine.h"
#include "playback/PlaybackController.h"
#include "playback/QtControllerTimer.h"
#include "remote/RemoteCommandSet.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteStationHost.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"
#include "show/Failover.h"
#include "show/ShowSession.h"
#include "ui/EditingDialogs.h"
#include "ui/MainFormPorts.h"
#include "ui/MonitorOutputs.h"
#include "ui/WidgetOperator.h"

#include <QMainWindow>
#include <QTimer>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>

namespace Ui {
class TMainForm;
}
class GlobalHotKey;
class CardStatusPanel;
class ImageBox;
class QLabel;
class QMenu;
class PreviewAnimator;

class QAction;
class ScriptFileWatcher;
class TAboutForm;
class TFontForm;
class TPreviewForm;
class TTempForm;
class Tkey_Form;
class TjianceForm;
class TParamForm;
class TtuojiForm;

// The station's main window. It owns the show: the settings, the playlist, the
// current document, the player, the audio engine, the renderer, the link and
// its worker thread, and the small windows (manual control, temporary text,
// communication monitor, about box). It is a view over those engines: every
// command goes to the controller that owns it, and RefreshMainWindow brings
// the controls in step with the player and the link.
//
// Start-up: the constructor creates everything (the worker suspended); the
// first showing reads Config.ini, hands the screens to the worker, blanks the
// screens and reopens the last playlist. Closing (the window's close, 退出,
// or SIGTERM/SIGINT through the application) closes the link, offers to save
// the playlist, stops playback, writes Config.ini and ends the worker.
// User-interface thread only.
class TMainForm : public QMainWindow,
                  private PlaybackView,
                  private LiveControlHost,
                  private PreviewHost,
                  private DocumentViewHooks,
                  private RemoteStationHost {
    Q_OBJECT
public:
    explicit TMainForm(StationOptions options, QWidget* parent = nullptr);
    ~TMainForm() override;

    void RefreshMainWindow();

    // Creates the desktop shortcut unless one exists; `command` reports a
    // missing desktop folder too (the menu item), start-up does not.
    void CreateDesktopShortcut(bool command);

    // How the manual and other documents are opened (tests replace it).
    std::function<bool(const QUrl&)> openUrl;

    // The close sequence ran (the window may be closed only once).
    bool hasClosed() const { return m_closed; }
    // A close nobody can be asked about (a terminating signal): unsaved edits
    // of the script go to a file beside it instead of a question.
    void CloseUnattended();

    // ---- the engines, for tests and tools
    PlaybackController& player() { return m_player; }
    ScriptEditing& editing() { return m_editing; }
    LiveControl& live() { return m_live; }
    TLedThread& worker() { return m_worker; }
    SettingsStore& settings() { return m_settings; }
    const Playlist& playlist() const { return m_playlist; }
    const DocumentSession& document() const { return m_document; }
    TextRenderer& renderer() { return m_renderer; }
    const StationPaths& paths() const { return m_paths; }
    Tkey_Form& manualControl() { return *m_keyForm; }
    TjianceForm& monitorWindow() { return *m_monitorForm; }
    TTempForm& tempForm() { return *m_tempForm; }
    TFontForm& fontForm() { return *m_fontForm; }
    TParamForm& paramForm() { return *m_paramForm; }
    TtuojiForm& offlineForm() { return *m_offlineForm; }
    OfflineSender& offlineSender() { return m_offlineSender; }
    ScreenParamControl& screenParams() { return m_paramControl; }
    GlobalHotKey* hotKey() { return m_hotKey; }
    ShowSession& showSession() { return *m_show; }
    PreviewAnimator& animator() { return *m_animator; }
    TPreviewForm& previewWindow(ScreenId screen) {
        return *m_previewForms[size_t(ScreenIndex(screen))];
    }
    QString statusText(int panel) const;
    CardStatusPanel& cardStatus() { return *m_cardStatus; }
    RemoteCommandSet& remoteCommands() { return m_remoteCommands; }
    RemoteControl& remote() { return *m_remote; }
    DdpOutput& ddpOutput() { return m_ddp; }
    MonitorOutputs& monitorOutputs() { return *m_monitors; }
    Failover& failover() { return *m_failover; }
    // The remotes' part of the status line (where they listen, the PIN).
    QString remoteStatusText() const;

signals:
    // The close sequence has run; the application may end.
    void stationClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // PlaybackView
    void Refresh() override { RefreshMainWindow(); }
    void ShowLineSelection(qsizetype index, qsizetype scrollTo) override;
    void ShowPlaylistSelection(qsizetype row) override;
    void MetersUpdated() override;
    // LiveControlHost
    std::optional<QString> ReselectLine() override;
    void StopPlayback() override;
    void RefreshCommands() override { RefreshMainWindow(); }
    void RenderEmptyLine(ScreenId screen) override;
    void ShowBrightnessCaption(const QString& caption) override;
    void ShowOfflineTransfer() override;
    // ButtonLight's caption and the previews' darkness from the level.
    void ShowBrightness();
    // PreviewHost
    void StopEffectTimer(ScreenId screen, EffectTimer timer) override;
    void StartEffectTimer(ScreenId screen, EffectTimer timer) override;
    bool IsPreviewShown(ScreenId screen) const override;
    void PreviewChanged(ScreenId screen) override;
    // DocumentViewHooks
    void DocumentLoaded(DocumentKind kind) override;
    void RenderEmptyRows() override;
    // RemoteStationHost
    bool ModalDialogOpen() const override;
    bool WaitingForCards() const override;
    bool IsConnected() const override { return m_live.IsConnected(); }
    int BrightnessLevel() const override { return m_live.BrightnessLevel(); }
    void ClearScreens() override { m_live.ClearScreens(); }
    void ShowTempText(const QString& row1, const QString& row2) override;
    void SetBrightness(int level) override { m_live.SetBrightness(level); }
    bool FollowsAnotherStation() const override;

    // The remotes as Config.ini and the command line say (MainFormRemote.cpp).
    void SetUpRemote();
    void ApplyRemoteSettings();
    void OpenRemoteOptions();
    // The outputs beside the cards (MainFormOutputs.cpp).
    void SetUpOutputs();
    void ApplyOutputSettings();
    void OpenOutputOptions();
    // The pair: its role, the backup's view, the commands by hand
    // (MainFormFailover.cpp).
    void SetUpFailover();
    void StartFailover();
    void OpenFailoverOptions();
    void ShowFollowing(bool following);
    // A temporary message on every screen, as F6 sends it.
    void RenderTempText(const QString& row1, const QString& row2, int colour);

    // Whether a show key pressed in `widget` steps lines: in the station's own
    // windows, unless the widget takes typed text.
    bool OwnsShowKeys(const QWidget* widget) const;
    // The keyboard goes to the line list (after start-up, an opened entry and
    // a press in the manual window).
    void FocusLineList();

    void SetUpWindow();
    void SetUpToolbar();
    void ConnectCommands();
    void FirstShow();
    // A command is waiting for the cards: the link's connect or disconnect,
    // an offline command, or a search, load, move or readback of the cards.
    bool IsWaitingForCards() const;
    // False when a save of the script's edits failed: the station stays open.
    bool RunCloseSequence();
    // The show journal: what it records, what it brings back, its option.
    void SetUpShowSession();

    void SizePreviews();
    ImageBox* PreviewImage(ScreenId screen) const;
    QWidget* PreviewPanel(ScreenId screen) const;
    void OpenPreviewWindow(ScreenId screen);
    void SyncLineList();
    void SyncPlaylistRows();
    void SettingsToControls();
    void OnEntrySelectionChanged();
    void OnPageChanged(int index);
    void ShowFileListMenu(const QPoint& at);

    void SendTempText();
    void EditTextEffect();
    void ApplyTextEffect();
    // The screen-parameter dialog behind its password, and the one-key readback.
    void OpenScreenParams();
    void StartReadback();
    void FinishReadback(const std::array<int, 3>& counts);
    // The dialog's pages become the screens in use: settings, worker, previews,
    // line list, blank screens, status line.
    void ApplyScreenSettings(bool withOrientation);
    // The stand-by advertisement behind its password: edited, rendered, filed
    // and written into the cards.
    void EditAdvertisement();
    // The advertisement rendered on the three screens; true where it fits.
    std::array<bool, 3> RenderAdvertisement();
    // The editing page: after a command the screens are blanked and the list
    // shows its new selection.
    void FinishEdit(const EditOutcome& outcome);
    // "新建字幕": the new file opens on the editing page.
    void NewSubtitle();
    // Leaving the editing page: recording ends, and unsaved edits are saved
    // or dropped as the operator says. False when a failed save keeps them.
    bool LeaveEditing();
    void OpenHelp();
    void ShowAbout();
    // Commands whose windows come in a later version: a clear word instead
    // of a silent no-op.
    void NotAvailable(const QString& command);

    const StationOptions m_options;
    const StationPaths m_paths;
    std::unique_ptr<Ui::TMainForm> m_ui;
    SettingsStore m_settings;
    WidgetOperator m_op;
    DocumentSession m_document;
    Playlist m_playlist;
    std::unique_ptr<AudioEngine> m_engine;
    QtRasteriser m_rasteriser;
    TextRenderer m_renderer;
    // Before the worker, whose senders hand it their frames: it ends after them.
    DdpOutput m_ddp;
    StationLink m_link;
    TLedThread m_worker;
    LiveControl m_live;
    LiveLinkPort m_linkPort;
    RendererScreens m_screens;
    QtControllerTimer m_heartbeat;
    QtControllerTimer m_lineTimer;
    QtControllerTimer m_nextFileTimer;
    PlaybackController m_player;
    WidgetEditingDialogs m_editingDialogs;
    ScriptEditing m_editing;
    ScreenParamControl m_paramControl;
    OfflineSender m_offlineSender;
    PlayerReplay m_replay;
    OfflineCommands m_offlineCommands;
    std::unique_ptr<ShowSession> m_show;
    // After the player and the window's engines: the remotes end first.
    RemoteCommandSet m_remoteCommands;
    std::unique_ptr<RemoteControl> m_remote;
    // The monitor windows; the renderer tells them its lines.
    std::unique_ptr<MonitorOutputs> m_monitors;
    std::unique_ptr<Failover> m_failover;

    std::unique_ptr<PreviewAnimator> m_animator;
    std::array<TPreviewForm*, 3> m_previewForms{};
    std::array<bool, 3> m_previewShown{};

    std::array<QLabel*, 3> m_statusPanels{};
    CardStatusPanel* m_cardStatus = nullptr;
    QMenu* m_fileListMenu = nullptr;
    Tkey_Form* m_keyForm = nullptr;
    TjianceForm* m_monitorForm = nullptr;
    TTempForm* m_tempForm = nullptr;
    TFontForm* m_fontForm = nullptr;
    TParamForm* m_paramForm = nullptr;
    TtuojiForm* m_offlineForm = nullptr;
    bool m_editingAdvert = false;
    GlobalHotKey* m_hotKey = nullptr;
    // The open script, for changes another program makes to it.
    ScriptFileWatcher* m_scriptWatcher = nullptr;

    QList<PlaylistRow> m_shownRows;
    QString m_shownRowsPath;
    QStringList m_tempRows{QString(), QString()};
    int m_tempColour = 0;
    QLabel* m_remoteStatus = nullptr;
    QLabel* m_roleStatus = nullptr;
    QAction* m_handOverAction = nullptr;
    QAction* m_takeOverAction = nullptr;
    // The start-up brings back an unclean end once the pair's role is decided.
    bool m_finishWhenDecided = false;
    int m_currentPage = 0;
    bool m_shown = false;
    bool m_closing = false;
    bool m_closed = false;
    bool m_unattendedClose = false;
    bool m_syncing = false;
};
