#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Cuts a received byte stream into Modbus RTU request frames. Frames of known length are taken
// as soon as they are complete and their CRC holds; a CRC failure drops one byte and looks again,
// so the stream resynchronises after noise. Frames of unknown length wait for the inter-frame gap
// (Flush).
class CFrameAssembler {
public:
    // Appends bytes and moves every complete frame with a valid CRC to `frames`.
    void Feed(const uint8_t* data, size_t size, std::vector<std::vector<uint8_t>>& frames);
    // Called after an inter-frame gap: a partial frame is taken whole if its CRC holds, else
    // searched for frames as far as it goes; nothing is kept.
    void Flush(std::vector<std::vector<uint8_t>>& frames);
    bool Pending() const { return !buffer_.empty(); }

private:
    // Length of the frame at the head of the buffer: 0 = not known yet, -1 = unknown function.
    long HeadLength() const;
    // Offset of the first complete read/write request behind the head, or 0.
    size_t NextRequest() const;
    void Scan(std::vector<std::vector<uint8_t>>& frames, bool final);
    bool CrcHolds(size_t length) const;
    void Take(size_t length, std::vector<std::vector<uint8_t>>& frames);

    std::vector<uint8_t> buffer_;
};
