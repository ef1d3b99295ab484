#pragma once

#include "OfflineRecords.h"

#include "core/Settings.h"
#include "render/TextRenderer.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>

#include <optional>

// The stand-by advertisement as a card stores it: one record header (no
// previous or next record) and the picture of the screen.

// The advertisement's effect, speed and pause as the header carries them.
FrameEffect AdvertEffect(const TAdSettings& ad);

// The file for a frame (card orientation), or nullopt when its data would not
// fit the card's advertisement area (more than 40946 bytes).
std::optional<QByteArray> BuildAdvertFile(const QImage& frame, ColourKind kind,
                                          const FrameEffect& effect, int cardWidth);
