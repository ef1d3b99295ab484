#include "RemoteCommandSet.h"

#include "RemoteStationHost.h"

#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "playback/PlaybackController.h"

#include <QTimer>

namespace {

QString PlayerName(PlayerState state) {
    switch (state) {
    case PlayerState::NoDocument:
        return QStringLiteral("none");
    case PlayerState::Ready:
        return QStringLiteral("ready");
    case PlayerState::Playing:
        return QStringLiteral("playing");
    case PlayerState::Paused:
        return QStringLiteral("paused");
    case PlayerState::Recording:
        return QStringLiteral("recording");
    }
    return {};
}

const QString kNoScript = QStringLiteral("没有打开的字幕文件。");

} // namespace

RemoteCommandSet::RemoteCommandSet(PlaybackController& player, const DocumentSession& document,
                                   const Playlist& playlist, RemoteStationHost& host,
                                   QObject* parent)
    : QObject(parent), m_player(player), m_document(document), m_playlist(playlist), m_host(host) {}

RemoteResult RemoteCommandSet::Execute(const RemoteCommand& command) {
    // The operator is answering a question or a transfer lets events run
    // while it waits: a command now would act behind their back or inside
    // the transfer.
    if (m_host.ModalDialogOpen()) {
        return RemoteResult::Refused(QStringLiteral("字幕机上有对话框未关闭。"));
    }
    if (m_host.FollowsAnotherStation()) {
        return RemoteResult::Refused(QStringLiteral("本机是备机，正在跟随主机。"));
    }
    if (m_host.WaitingForCards()) {
        return RemoteResult::Refused(QStringLiteral("字幕机正在等待控制卡，请稍候再试。"));
    }
    const RemoteResult result = Run(command);
    StateMayHaveChanged();
    return result;
}

RemoteResult RemoteCommandSet::Step(int direction) {
    if (m_document.lines().isEmpty()) {
        return RemoteResult::Refused(kNoScript);
    }
    const qsizetype before = m_player.selectedLine();
    m_player.StepByKey(direction);
    if (m_player.selectedLine() == before) {
        return RemoteResult::Refused(direction > 0 ? QStringLiteral("已是最后一行。")
                                                   : QStringLiteral("已是第一行。"));
    }
    return RemoteResult::Done();
}

RemoteResult RemoteCommandSet::Run(const RemoteCommand& command) {
    const bool connected = m_host.IsConnected();
    switch (command.verb) {
    case RemoteVerb::Next:
        return Step(+1);
    case RemoteVerb::Previous:
        return Step(-1);
    case RemoteVerb::GoToLine: {
        const qsizetype count = m_document.lines().size();
        if (count == 0) {
            return RemoteResult::Refused(kNoScript);
        }
        if (command.number < 1 || command.number > count) {
            return RemoteResult::Refused(
                QStringLiteral("没有第%1行（共%2行）。").arg(command.number).arg(count));
        }
        m_player.ChooseLine(command.number - 1);
        return RemoteResult::Done();
    }
    case RemoteVerb::SelectEntry: {
        const qsizetype count = m_playlist.count();
        if (command.number < 1 || command.number > count) {
            return RemoteResult::Refused(
                QStringLiteral("播放列表中没有第%1项（共%2项）。").arg(command.number).arg(count));
        }
        // The file list is locked while a file plays, and a script with
        // unsaved edits would ask the operator what to do with them.
        if (!m_player.buttons().playlistControls) {
            return RemoteResult::Refused(QStringLiteral("正在播放，不能切换文件，请先停止。"));
        }
        if (m_document.document().modified) {
            return RemoteResult::Refused(QStringLiteral("字幕有未保存的修改，请在字幕机上处理。"));
        }
        m_player.OpenEntry(command.number - 1);
        return RemoteResult::Done();
    }
    case RemoteVerb::Clear:
        if (!connected) {
            return RemoteResult::Refused(QStringLiteral("请先连接字幕机再发送清屏命令。"));
        }
        m_host.ClearScreens();
        return RemoteResult::Done();
    case RemoteVerb::Connect:
        if (connected) {
            return RemoteResult::Refused(QStringLiteral("已经连接。"));
        }
        m_player.ToggleLink();
        return RemoteResult::Done();
    case RemoteVerb::Disconnect:
        if (!connected) {
            return RemoteResult::Refused(QStringLiteral("没有连接。"));
        }
        m_player.ToggleLink();
        return RemoteResult::Done();
    case RemoteVerb::TempText:
        if (!connected) {
            return RemoteResult::Refused(QStringLiteral("请先连接字幕机再发送临时信息。"));
        }
        m_host.ShowTempText(command.row1, command.row2);
        return RemoteResult::Done();
    case RemoteVerb::Brightness:
        if (!connected) {
            return RemoteResult::Refused(QStringLiteral("请先连接字幕机再发送亮度命令。"));
        }
        if (command.number < 0 || command.number > kMaxBrightnessLevel) {
            return RemoteResult::Refused(QStringLiteral("亮度应为0到16。"));
        }
        m_host.SetBrightness(command.number);
        return RemoteResult::Done();
    case RemoteVerb::Play: {
        const PlayerButtons buttons = m_player.buttons();
        // A paused show goes on where it stopped; starting it over under the
        // audience is never what a remote "play" means.
        if (m_player.state() == PlayerState::Paused && buttons.playFromHere) {
            m_player.Continue();
            return RemoteResult::Done();
        }
        if (m_player.state() == PlayerState::Playing) {
            return RemoteResult::Refused(QStringLiteral("正在播放。"));
        }
        if (!buttons.play || m_player.dialogBusy()) {
            return RemoteResult::Refused(QStringLiteral("现在不能播放。"));
        }
        m_player.PlayFromStart();
        return RemoteResult::Done();
    }
    case RemoteVerb::Pause:
        if (!m_player.buttons().pause) {
            return RemoteResult::Refused(QStringLiteral("没有在播放。"));
        }
        m_player.Pause();
        return RemoteResult::Done();
    case RemoteVerb::Stop:
        if (!m_player.buttons().stop) {
            return RemoteResult::Refused(QStringLiteral("没有在播放。"));
        }
        m_player.Stop();
        return RemoteResult::Done();
    }
    return RemoteResult::Refused(QStringLiteral("未知的命令。"));
}

RemoteShowState RemoteCommandSet::State() const {
    RemoteShowState state;
    const qsizetype entry = m_player.selectedEntry();
    state.entryCount = static_cast<int>(m_playlist.count());
    if (entry >= 0 && entry < m_playlist.count()) {
        state.entry = static_cast<int>(entry) + 1;
        state.entryName = m_playlist.rows().value(entry).name;
    }
    const LineList& lines = m_document.lines();
    state.lineCount = static_cast<int>(lines.size());
    const qsizetype line = m_player.selectedLine();
    if (line >= 0 && line < lines.size()) {
        state.line = static_cast<int>(line) + 1;
        state.text = lines[line].Text;
        if (line + 1 < lines.size()) {
            state.nextText = lines[line + 1].Text;
        }
    }
    state.connected = m_host.IsConnected();
    state.player = PlayerName(m_player.state());
    state.brightness = m_host.BrightnessLevel();
    state.linesVersion = m_linesVersion;
    return state;
}

QStringList RemoteCommandSet::Lines() const {
    QStringList texts;
    texts.reserve(m_document.lines().size());
    for (const LineItem& item : m_document.lines()) {
        texts.append(item.Text);
    }
    return texts;
}

void RemoteCommandSet::StateMayHaveChanged() {
    if (m_publishQueued) {
        return;
    }
    // After the key or command that changed it has done its work: the frame
    // goes to the worker first, the remotes hear of it afterwards.
    m_publishQueued = true;
    QTimer::singleShot(0, this, [this] { Publish(); });
}

void RemoteCommandSet::Publish() {
    m_publishQueued = false;
    // QList compares its data pointers first: an unchanged list costs nothing.
    const bool linesChanged = !(m_reportedLines == m_document.lines());
    if (linesChanged) {
        m_reportedLines = m_document.lines();
        ++m_linesVersion;
    }
    const RemoteShowState state = State();
    if (!linesChanged && state == m_reported) {
        return;
    }
    m_reported = state;
    emit stateChanged(state, linesChanged);
}
