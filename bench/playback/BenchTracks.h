#pragma once

#include <QString>

// A stereo 440 Hz MP3 of the given length made with lame in dir; empty when
// lame is missing or fails.
QString MakeBenchTrack(const QString& dir, double seconds);
