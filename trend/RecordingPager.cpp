#include "trend/RecordingPager.h"

#include "trend/BlockCheck.h"
#include "trend/QdxStoreSink.h"
#include "trend/TextRecordingParser.h"

CRecordingPager::CRecordingPager(std::unique_ptr<CRegularFile> f, bool isQdx, uint64_t size,
                                 std::vector<RecordingBlock> b, std::vector<std::string> h)
    : file(std::move(f)), qdx(isQdx), end(size), blocks(std::move(b)), headers(std::move(h)) {}

bool CRecordingPager::Load(std::size_t block, CSampleStore& into) {
    if (block >= blocks.size())
        return false;
    const RecordingBlock& b = blocks[block];
    const bool last = block + 1 == blocks.size();
    const uint64_t to = last ? end : blocks[block + 1].offset;
    if (to < b.offset)
        return false;
    buffer.resize(static_cast<std::size_t>(to - b.offset));
    if (file->ReadAt(b.offset, buffer.data(), buffer.size()) !=
        static_cast<int64_t>(buffer.size())) {
        return false;
    }
    const std::string_view data(buffer.data(), buffer.size());
    if (BlockCheck(data) != b.check)
        return false;  // the file changed since it was read
    if (qdx) {
        QdxStoreSink sink(into);
        sink.ResumeAfter(b.lastTimeMs);
        CQdxParser parser([&sink](const QdxRecord& r) { sink(r); });
        parser.Feed(data, last);
        return true;
    }
    CTextRecordingParser parser(into);
    parser.ResumeAfter(b.lastTimeMs);
    if (b.header >= 0 && static_cast<std::size_t>(b.header) < headers.size())
        parser.Feed(headers[static_cast<std::size_t>(b.header)] + "\n", false);
    parser.Feed(data, last);
    return true;
}
