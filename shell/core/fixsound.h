#pragma once

namespace velocimo {

// Where the decoder and the link report a change of fix. Called on the reader thread
// (and on the main thread by a close), possibly with the live record locked: an
// implementation only records or hands the event over, it never blocks.
class FixSoundSink {
public:
    virtual ~FixSoundSink() = default;
    virtual void fixGained() = 0;
    virtual void fixLost() = 0;
};

} // namespace velocimo
