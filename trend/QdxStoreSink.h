#pragma once
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "trend/Channel.h"
#include "trend/LocalTime.h"
#include "trend/QdxParser.h"
#include "trend/SampleStore.h"

// A channel of the .qdx file from its codes. Sensors have no input number in that file.
ChannelInfo QdxChannelInfo(const QdxEntry& entry);

// Feeds decoded .qdx records into the store; channels are looked up by their codes.
class QdxStoreSink {
public:
    explicit QdxStoreSink(CSampleStore& store) : store(store) {}

    void operator()(const QdxRecord& r);

    int64_t LastTimeMs() const { return clock.LastMs(); }
    void ResumeAfter(int64_t lastTimeMs) { clock.ResumeAfter(lastTimeMs); }

    std::size_t unusable = 0;  // records whose time stamp is no time

private:
    CSampleStore& store;
    CLocalTimeCache clock;
    std::unordered_map<uint64_t, int> channels;
    struct Known {
        uint64_t code;
        int channel;
    };
    std::vector<Known> lastCodes;  // by the entry's place in the record
};
