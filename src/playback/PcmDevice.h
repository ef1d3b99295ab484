#pragma once

#include <QtGlobal>

// Where the engine's decoded PCM goes. The engine is the source; a device
// pulls frames from it at its own pace and tells how far it has played.
//
// Frames are counted on one timeline shared by the engine and the device:
// every frame Pull hands out is the next number on it, starting at the base
// the device was started with.

class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Up to maxFrames interleaved stereo frames into out; out may be nullptr
    // when the device only needs to know the frames were played (the silent
    // output). Returns the frames given, 0 when nothing is playing.
    // Called on the device's thread (the user-interface thread for the silent
    // output); never while the caller holds a lock of the engine.
    virtual qint64 Pull(qint16* out, qint64 maxFrames) = 0;
};

class PcmDevice {
public:
    virtual ~PcmDevice() = default;

    // Starts pulling from source; false when no output can be opened.
    // baseFrame is the timeline number of the first frame it will pull.
    // Called on the user-interface thread.
    virtual bool Start(PcmSource* source, qint64 baseFrame) = 0;
    // Stops pulling; after it returns Pull is not called any more.
    virtual void Stop() = 0;

    // The timeline number up to which frames have been heard. Never goes
    // back. Called on any thread.
    virtual qint64 HeardFrames() const = 0;
    // Drops frames pulled but not yet heard (seek, pause, stop), so that
    // HeardFrames reaches every frame pulled so far. Called on the
    // user-interface thread.
    virtual void Flush() = 0;
    // Lets a device without its own thread do its work now (the silent output
    // catches up with its clock). Called on the user-interface thread.
    virtual void Service() {}
    // True once the device has failed for good. Called on any thread.
    virtual bool Failed() const = 0;
};
