#include "AudioEngine.h"

QString NoAudioDeviceNotice() {
    return QStringLiteral("未找到可用的音频输出设备，乐曲将静音播放。");
}

QString AudioDeviceLostNotice() {
    return QStringLiteral("音频输出设备已断开，乐曲将静音播放。");
}
