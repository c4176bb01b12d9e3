#pragma once
#include <cstdint>

// Finds the reply to one request among the bytes received after it was sent. Line noise and
// the echo of the request that two-wire RS-485 adapters give back may come first, so a reply
// may start anywhere: it is recognised by its address, function and CRC, and nothing that
// fails the CRC is ever taken. The first complete frame found wins; the caller judges it.
class CReplyFinder {
public:
    static constexpr int kRequestLength = 8;

    // A new search for the reply to request. For a write the echo and the reply are the same
    // bytes: the first copy is skipped only when the line is known to echo.
    void Begin(const uint8_t* request, bool lineEchoes);
    // The buffer wrapped and starts over at index 0: search again, with no echo to skip.
    void Restart();
    // buffer[0..count) are the bytes so far; buffer[count - 1] is the newest. True once a
    // reply has been found (and from then on).
    bool Add(const uint8_t* buffer, int count);

    bool Found() const { return length > 0; }
    int Start() const { return start; }
    int Length() const { return length; }
    // The bytes began with an exact copy of the request.
    bool SawEcho() const { return echo == Echo::Seen; }
    // No reply was found, but where it should start lies a complete frame of the right
    // address and function whose CRC fails: a damaged reply rather than none.
    bool DamagedReply(const uint8_t* buffer, int count) const;

private:
    enum class Echo { Unknown, Seen, None };

    // Length of a frame starting at buffer[k], or 0 when no reply can start there.
    int FrameLength(const uint8_t* buffer, int k) const;
    bool Accept(const uint8_t* buffer, int k, int frameLength);

    uint8_t request[kRequestLength] = {};
    Echo echo = Echo::None;
    int first = 0;   // where a reply may start (after a skipped echo)
    int start = 0;   // the reply found
    int length = 0;  // 0 while none found
};
