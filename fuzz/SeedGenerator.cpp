// Writes small starting inputs for the fuzz targets into <out>/<target>/:
// real command datagrams from the station's own builders, the card's replies
// and information record, a Config.ini the station wrote, and the sample
// documents of the tests with the two selector bytes the document target reads.
//
//     station_fuzz_seeds <out-dir> <tests/data dir>

#include "SimDatagrams.h"

#include "SimCard.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "link/Commands.h"
#include "remote/OscProtocol.h"
#include "show/MirrorProtocol.h"
#include "show/MirrorShow.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <cstdio>

namespace {

QString g_out;

void Write(const char* target, const QString& name, const QByteArray& bytes) {
    const QString dir = g_out + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

QByteArray Bytes(std::span<const std::uint8_t> data) {
    return QByteArray(reinterpret_cast<const char*>(data.data()),
                      static_cast<qsizetype>(data.size()));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR TEST_DATA_DIR\n", argv[0]);
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    const QString testData = QString::fromLocal8Bit(argv[2]);

    // Datagrams: whole sessions for the card, each command alone for the replies.
    const MacAddress mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    PacketSeq seq;
    CommandBuffer buffer(seq);
    std::vector<std::uint8_t> plane(1024);
    for (std::size_t i = 0; i < plane.size(); ++i) {
        plane[i] = static_cast<std::uint8_t>(i * 37);
    }
    const std::vector<std::vector<Command>> sessions = {
        {buffer.Search(), buffer.Connect(mac), buffer.SyncMode(mac), buffer.Brightness(mac, 9)},
        {buffer.Connect(mac), buffer.LoadParameters(mac, MakeCardParams(256, 32, 0, 1)),
         buffer.WriteData(mac, 0, plane), buffer.WriteData(mac, 50, plane),
         buffer.SwapBuffer(mac, 0, 1, 1, 256)},
        {buffer.Connect(mac), buffer.LoadParameters(mac, MakeCardParams(64, 16, 4, 2)),
         buffer.WriteData(mac, 4, plane), buffer.SwapBuffer(mac, 3, 5, 2, 300)},
        {buffer.Connect(mac), buffer.OfflineMode(mac), buffer.WriteFlash(mac, 0x1000, plane),
         buffer.Disconnect(mac, true)},
        {buffer.AssignScreen(mac, 1), buffer.AssignScreen(mac, 2), buffer.Disconnect(mac, false)},
    };
    int index = 0;
    for (const auto& session : sessions) {
        std::vector<std::uint8_t> run;
        SimCardSpec setup;
        setup.mac = mac;
        SimCard card(setup);
        for (const Command& command : session) {
            AppendDatagram(run, command.bytes);
            const SimCard::Outcome outcome = card.Handle(command.bytes);
            for (const auto& reply : outcome.replies) {
                Write("replies", QStringLiteral("reply-%1").arg(index++), Bytes(reply));
            }
        }
        Write("simcard", QStringLiteral("session-%1").arg(index++), Bytes(run));
    }
    {
        SimCardSpec setup;
        setup.mac = mac;
        Write("replies", QStringLiteral("card-info"), Bytes(SimCard(setup).InfoRecord()));
    }

    // MAC texts as typed and as card list entries hold them.
    Write("mac", QStringLiteral("dash"), QByteArray("00-1A-2B-3C-4D-5E"));
    Write("mac", QStringLiteral("colon"), QByteArray("00:1a:2b:3c:4d:5e"));
    Write("mac", QStringLiteral("entry"),
          EncodeGbk(QStringLiteral("mac:00-1A-2B-3C-4D-5E 舞台屏->A卡")));

    // A Config.ini the station wrote itself, with a card in each list.
    {
        SettingsStore store;
        for (ScreenId id : kAllScreens) {
            CardEntry entry;
            entry.id = QStringLiteral("mac:00-1A-2B-3C-4D-5E 舞台屏->A卡");
            entry.record[0] = 7;
            store.cards(id).push_back(entry);
        }
        const QString path = QDir::tempPath() + QStringLiteral("/station-fuzz-seed-Config.ini");
        if (!SaveConfig(store, path)) {
            std::fprintf(stderr, "cannot write the seed Config.ini\n");
            return 1;
        }
        const QByteArray config = ReadAll(path);
        QFile::remove(path);
        Write("config", QStringLiteral("written"), config);
        Write("ini", QStringLiteral("written"), config);
    }

    // Sample documents: as text, and with the kind and paragraph selector bytes.
    const QDir documents(testData + QStringLiteral("/documents"));
    for (const QFileInfo& info : documents.entryInfoList(QDir::Files)) {
        const QByteArray bytes = ReadAll(info.filePath());
        Write("text", info.fileName(), bytes);
        Write("ini", info.fileName(), bytes);
        const QString suffix = info.suffix().toLower();
        if (suffix == QLatin1String("srt") || suffix == QLatin1String("ass")) {
            Write("surtitle", info.fileName(),
                  QByteArray(1, suffix == QLatin1String("ass") ? '\x01' : '\x00') + bytes);
        }
        const char kind = suffix == QLatin1String("txt")   ? 0
                          : suffix == QLatin1String("lrc") ? 1
                                                           : 2;
        Write("documents", info.fileName(), QByteArray(1, kind) + QByteArray(1, '\x15') + bytes);
    }
    Write("documents", QStringLiteral("plain"),
          QByteArray("\x00\x13", 2) + EncodeGbk(QStringLiteral("今晚演出即将开始\r\n第二行\r\n")));
    Write("text", QStringLiteral("utf8-bom"),
          QByteArray("\xEF\xBB\xBF") + QStringLiteral("舞台\r\n").toUtf8());
    Write("text", QStringLiteral("utf16le-bom"), QByteArray("\xFF\xFE[\x00\r\x00\n\x00", 8));
    // The remotes: OSC datagrams (selector 0), web remote messages (1), HTTP heads (2).
    RemoteShowState state;
    state.entry = 1;
    state.line = 5;
    state.text = QStringLiteral("第五句");
    Write("remote", QStringLiteral("osc-state"), QByteArray(1, '\0') + OscStateMessage(state));
    Write("remote", QStringLiteral("osc-refused"),
          QByteArray(1, '\0') +
              OscRefusedMessage(QStringLiteral("/subtitle/go"), QStringLiteral("没有第9行")));
    Write("remote", QStringLiteral("osc-go"),
          QByteArray(1, '\0') + QByteArray("/subtitle/go\0\0\0\0,i\0\0\0\0\0\5", 24));
    Write("remote", QStringLiteral("osc-temp"),
          QByteArray(1, '\0') + QByteArray("/subtitle/temp\0\0,ss\0abc\0def\0", 28));
    Write("remote", QStringLiteral("web-auth"),
          QByteArray(1, '\1') + QByteArray(R"({"type":"auth","pin":"123456"})"));
    Write("remote", QStringLiteral("web-go"),
          QByteArray(1, '\1') + QByteArray(R"({"type":"command","command":"go","number":5})"));
    Write("remote", QStringLiteral("web-temp"),
          QByteArray(1, '\1') +
              QByteArray(R"({"type":"command","command":"temp","row1":"a","row2":"b"})"));
    Write("remote", QStringLiteral("http-page"),
          QByteArray(1, '\2') + QByteArray("GET /remote.js?v=1 HTTP/1.1\r\nHost: x\r\n\r\n"));
    Write("remote", QStringLiteral("http-upgrade"),
          QByteArray(1, '\2') +
              QByteArray("GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\n"
                         "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n\r\n"));
    // The mirror: a follower's whole conversation, cut in pieces of 64 bytes
    // (the first byte), and a playlist with two files.
    {
        QByteArray stream;
        for (const char* kind : {mirror::kHello, mirror::kWelcome, mirror::kState, mirror::kBeat}) {
            stream += EncodeMirrorMessage(
                QJsonObject{{QStringLiteral("t"), QString::fromLatin1(kind)},
                            {QStringLiteral("nonce"), QString::fromLatin1(MirrorNonce())},
                            {QStringLiteral("proof"), MirrorProof(QStringLiteral("2468"), "n")},
                            {QStringLiteral("state"), QStringLiteral("{}")}});
        }
        Write("mirror", QStringLiteral("conversation"), QByteArray(1, char(63)) + stream);
        MirrorShowContent show;
        show.entries = {QStringLiteral("/show/act1/song.mp3"), QStringLiteral("/show/a.txt")};
        show.files = {{QStringLiteral("/show/act1/song.lrc"), QByteArray("[00:01.00]a")},
                      {QStringLiteral("/show/a.txt"), QByteArray("a\r\nb\r\n")}};
        Write("mirror", QStringLiteral("show"),
              QByteArray(1, char(255)) + EncodeMirrorMessage(ShowToMessage(show)));
    }
    Write("playlist", QStringLiteral("show.lft"),
          QByteArray("a.lpf\r\na.mp3\r\n  a.lrc \r\na.txt\r\nmissing.mp3\r\n"));
    return 0;
}
