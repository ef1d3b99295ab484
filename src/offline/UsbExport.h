#pragma once

#include "core/Paths.h"

#include <QString>
#include <QStringList>

#include <functional>

// Copying the offline data files to a USB stick from which the cards load
// them. On Linux a stick is a mounted volume; the target is its directory.

// The mount points of the mounted removable volumes (USB sticks, card
// readers), in mount order.
QStringList RemovableVolumes();

struct UsbOptions {
    bool params = false;   // cs_h.bin, cs_s.bin, cs_x.bin
    bool adverts = true;   // gg_*.bin
    bool subtitles = true; // zim_*.bin
};

// Why `target` cannot take the files: empty (an empty drive box would mean
// the working directory), or not an existing directory (a stick that is not
// mounted). Empty when it can.
QString UsbTargetProblem(const QString& target);

// Copies (or, for an unchecked group, removes) the groups' files at the
// target's root, logging each copy's success or failure. A target with a
// problem is refused with one line and nothing is copied or removed. Every copy goes to a
// temporary name and is renamed only when whole, so a stick pulled or filled
// halfway never holds a half file under a name the cards load.
void ExportToUsb(const StationPaths& paths, const QString& target, const UsbOptions& options,
                 const std::function<void(const QString&)>& log);

// The log's separator line: 47 "-".
QString SeparatorLine();
