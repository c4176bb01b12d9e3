#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trend/RegularFile.h"
#include "trend/SampleStore.h"

// Reads blocks of a recording file again for a paged sample store. A block is the bytes of
// whole lines or records that one chunk of the first reading parsed; what the parser knew then
// (the header line in force, the time read last) is kept with it, so the block reads again into
// the same cycles. The file stays open (shared, as the first reading opened it).
struct RecordingBlock {
    uint64_t offset = 0;
    int header = -1;  // text files: the index of the header line in force, -1 none
    int64_t lastTimeMs = 0;
    uint64_t check = 0;  // BlockCheck of its bytes
};

class CRecordingPager : public CSamplePager {
public:
    CRecordingPager(std::unique_ptr<CRegularFile> file, bool qdx, uint64_t end,
                    std::vector<RecordingBlock> blocks, std::vector<std::string> headers);

    bool Load(std::size_t block, CSampleStore& into) override;

private:
    std::unique_ptr<CRegularFile> file;
    bool qdx;
    uint64_t end;  // the size read at first: bytes appended since are not part of it
    std::vector<RecordingBlock> blocks;
    std::vector<std::string> headers;
    std::vector<char> buffer;
};
