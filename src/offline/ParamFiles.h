#pragma once

#include "ParamBlock.h"

#include "core/IoStatus.h"
#include "core/Paths.h"
#include "core/ScreenId.h"

// The parameter file of a screen: data/cs_h.bin, cs_s.bin or cs_x.bin, exactly
// one block. The cards load it from a USB stick.

QString ParamFileName(ScreenId screen);
// "横屏参数文件生成成功！", "纵屏…", "小屏…".
QString ParamFileWrittenMessage(ScreenId screen);

// Writes the block as the screen's file, creating the data directory when
// needed. The old file is replaced only by a whole new one; a failure keeps it
// and the message says "创建文件失败！请重启软件！" and names the file.
IoStatus WriteParamFile(const StationPaths& paths, ScreenId screen, const ParamBlock& block);
