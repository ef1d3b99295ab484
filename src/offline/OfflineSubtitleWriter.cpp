#include "OfflineSubtitleWriter.h"

#include "DataFiles.h"

#include <QDir>

OfflineSubtitleWriter::OfflineSubtitleWriter(std::array<OfflineScreen, 3> screens) {
    for (ScreenId screen : kAllScreens) {
        state(screen).setup = screens[size_t(ScreenIndex(screen))];
    }
}

OfflineSubtitleWriter::~OfflineSubtitleWriter() {
    Abandon();
}

IoStatus OfflineSubtitleWriter::Open(const StationPaths& paths) {
    const QString failed = DataFileFailedText() + QLatin1Char('\n');
    if (!QDir().mkpath(paths.dataDir())) {
        return IoStatus::Fail(failed + WriteFailedMessage(paths.dataDir()));
    }
    for (ScreenId screen : kAllScreens) {
        State& s = state(screen);
        if (!s.setup.inUse) {
            continue;
        }
        const QString path = paths.dataFile(SubtitleFileName(screen));
        s.file = std::make_unique<AtomicFile>(path);
        IoStatus opened = s.file->open();
        // The table is written last; until then its place holds "no script".
        if (opened && !s.file->write(QByteArray(kScriptTableBytes, '\xFF'))) {
            opened = s.file->status();
        }
        if (!opened) {
            Abandon();
            return IoStatus::Fail(failed + opened.message);
        }
    }
    return IoStatus::Ok();
}

void OfflineSubtitleWriter::BeginScript(int index) {
    for (ScreenId screen : kAllScreens) {
        State& s = state(screen);
        if (s.file && index >= 0 && index < kScriptTableEntries) {
            s.scriptStarts.resize(static_cast<std::size_t>(index) + 1, s.next);
            s.scriptStarts[static_cast<std::size_t>(index)] = s.next;
        }
    }
}

void OfflineSubtitleWriter::DivertFrame(ScreenId screen, const QImage& frame,
                                        const FrameEffect& effect) {
    State& s = state(screen);
    if (!s.file) {
        return;
    }
    const std::vector<std::uint8_t> data = OfflineRecordData(frame, s.setup.kind);
    const auto length = static_cast<std::uint32_t>(data.size());
    const std::uint32_t end = s.next + kRecordHeaderBytes + length;
    const int cardWidth =
        m_active != nullptr ? CardWidthOf(screen, m_active->screen(screen)) : s.setup.cardWidth;
    const RecordHeader header =
        OfflineRecordHeader(s.previous, end, effect, OfflineExtent(frame, cardWidth));
    // A failed write leaves the device in error; Commit reports it.
    s.file->write(QByteArrayView(reinterpret_cast<const char*>(header.data()), kRecordHeaderBytes));
    s.file->write(QByteArrayView(reinterpret_cast<const char*>(data.data()), qsizetype(length)));
    s.previous = s.next;
    s.next = end;
    ++s.records;
}

IoStatus OfflineSubtitleWriter::Commit() {
    QStringList failures;
    for (ScreenId screen : kAllScreens) {
        State& s = state(screen);
        if (!s.file) {
            continue;
        }
        QByteArray table(kScriptTableBytes, '\xFF');
        for (std::size_t i = 0; i < s.scriptStarts.size(); ++i) {
            const std::uint32_t start = s.scriptStarts[i];
            for (int b = 0; b < 4; ++b) {
                table[static_cast<qsizetype>(4 * i) + b] = static_cast<char>(start >> (8 * b));
            }
        }
        // A failed write, here or in any record before, fails the commit.
        s.file->writeAt(0, table);
        if (const IoStatus committed = s.file->commit(); !committed) {
            failures << committed.message;
        }
        s.file.reset();
    }
    if (!failures.isEmpty()) {
        return IoStatus::Fail(failures.join(QLatin1Char('\n')));
    }
    return IoStatus::Ok();
}

void OfflineSubtitleWriter::Abandon() {
    for (ScreenId screen : kAllScreens) {
        State& s = state(screen);
        if (s.file) {
            s.file->cancel();
            s.file.reset();
        }
    }
}

long long OfflineSubtitleWriter::records(ScreenId screen) const {
    return state(screen).records;
}

std::uint32_t OfflineSubtitleWriter::nextOffset(ScreenId screen) const {
    return state(screen).next;
}
