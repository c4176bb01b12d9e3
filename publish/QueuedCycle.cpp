#include "publish/QueuedCycle.h"

namespace {

constexpr unsigned char kVersion = 1;
constexpr std::size_t kInputSize = 46;
constexpr std::size_t kRecordSize = 1 + 8 + 4 + 2 + 8 * kInputSize;

class Writer {
public:
    void U8(uint8_t v) { out.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) { Bytes(v, 2); }
    void U32(uint32_t v) { Bytes(v, 4); }
    void U64(uint64_t v) { Bytes(v, 8); }
    std::string out;

private:
    void Bytes(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            U8(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}
    uint8_t U8() { return static_cast<uint8_t>(in_[pos_++]); }
    uint16_t U16() { return static_cast<uint16_t>(Bytes(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Bytes(4)); }
    uint64_t U64() { return Bytes(8); }

private:
    uint64_t Bytes(int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            v |= static_cast<uint64_t>(U8()) << (8 * i);
        }
        return v;
    }
    std::string_view in_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeCycle(const QueuedCycle& c) {
    Writer w;
    w.U8(kVersion);
    w.U64(static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(c.time.time_since_epoch()).count()));
    w.U32(static_cast<uint32_t>(c.utcOffsetSeconds));
    w.U16(c.deviceSerial);
    for (const InputReading& r : c.readings) {
        w.U8(r.inputState);
        w.U8(r.isBinary);
        w.U8(r.binaryState);
        w.U32(static_cast<uint32_t>(r.model));
        w.U16(r.serialNumber);
        w.U8(r.auxFlag);
        for (uint8_t f : r.valueFlags) {
            w.U8(f);
        }
        for (int16_t v : r.values) {
            w.U16(static_cast<uint16_t>(v));
        }
        for (int16_t v : r.probeValues) {
            w.U16(static_cast<uint16_t>(v));
        }
        w.U8(r.averageFlag);
        w.U16(static_cast<uint16_t>(r.average));
        w.U8(r.status);
    }
    return std::move(w.out);
}

std::optional<QueuedCycle> DecodeCycle(std::string_view record) {
    if (record.size() != kRecordSize || static_cast<unsigned char>(record[0]) != kVersion) {
        return std::nullopt;
    }
    Reader in(record.substr(1));
    QueuedCycle c;
    c.time = std::chrono::system_clock::time_point(
        std::chrono::milliseconds(static_cast<int64_t>(in.U64())));
    c.utcOffsetSeconds = static_cast<int32_t>(in.U32());
    if (c.utcOffsetSeconds < -24 * 3600 || c.utcOffsetSeconds > 24 * 3600) {
        return std::nullopt;
    }
    c.deviceSerial = in.U16();
    for (InputReading& r : c.readings) {
        r.inputState = in.U8();
        r.isBinary = in.U8();
        r.binaryState = in.U8();
        r.model = static_cast<SensorModel>(static_cast<int32_t>(in.U32()));
        r.serialNumber = in.U16();
        r.auxFlag = in.U8();
        for (uint8_t& f : r.valueFlags) {
            f = in.U8();
        }
        for (int16_t& v : r.values) {
            v = static_cast<int16_t>(in.U16());
        }
        for (int16_t& v : r.probeValues) {
            v = static_cast<int16_t>(in.U16());
        }
        r.averageFlag = in.U8();
        r.average = static_cast<int16_t>(in.U16());
        r.status = in.U8();
    }
    return c;
}
