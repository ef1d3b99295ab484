#pragma once

#include "core/IoStatus.h"
#include "core/Paths.h"

#include <QByteArray>
#include <QString>

// The files the station prepares for the cards live in the data directory.
// `name` is written whole (a temporary file renamed when complete), the
// directory made when missing; a failure keeps the old file and says
// "创建文件失败！请重启软件！" followed by the file it concerns.
IoStatus WriteDataFile(const StationPaths& paths, const QString& name, const QByteArray& bytes);

// The first line of every message of a data file that could not be created.
QString DataFileFailedText();
