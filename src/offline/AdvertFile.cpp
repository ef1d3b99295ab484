#include "AdvertFile.h"

#include "FlashTransfer.h"

FrameEffect AdvertEffect(const TAdSettings& ad) {
    return {ad.tej, ad.sud, ad.tingl};
}

std::optional<QByteArray> BuildAdvertFile(const QImage& frame, ColourKind kind,
                                          const FrameEffect& effect, int cardWidth) {
    const std::vector<std::uint8_t> data = OfflineRecordData(frame, kind);
    if (data.size() > static_cast<std::size_t>(kMaxAdvertData)) {
        return std::nullopt;
    }
    const RecordHeader header = OfflineRecordHeader(0, 0, effect, OfflineExtent(frame, cardWidth));
    QByteArray file(reinterpret_cast<const char*>(header.data()), kRecordHeaderBytes);
    file.append(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    return file;
}
