// The paged side of the sample store: blocks of cycles decoded again on demand, and the pyramid
// kept within its memory bound.
#include <algorithm>
#include <limits>

#include "trend/SampleStore.h"

namespace {

// Decoded blocks kept (of 256 KB each): the widest view drawn from samples spans up to about
// 120 of them in a year of text at 1 s.
constexpr std::size_t kDecodedBlocks = 256;

}  // namespace

void CSampleStore::NoteBlockCycle(Block& block, int64_t tMs) {
    if (block.cycles++ == 0)
        block.firstMs = tMs;
    block.lastMs = tMs;
}

void CSampleStore::StartBlock() {
    if (!options.paged)
        return;
    Block b;
    b.firstMs = b.lastMs = anyCycle ? lastMs : std::numeric_limits<int64_t>::min();
    b.anyBefore = anyCycle;
    b.lastBefore = lastMs;
    b.shortestStepBefore = shortestStep;
    blocks.push_back(b);
}

void CSampleStore::SetPager(std::unique_ptr<CSamplePager> p) {
    pager = std::move(p);
    decoded.clear();
}

std::unique_ptr<CSampleStore> CSampleStore::NewBlockStore(std::size_t block) const {
    Options o;
    o.gapMs = options.gapMs;
    // No pyramid is wanted of a block: none of its levels is kept.
    auto store = std::make_unique<CSampleStore>(o);
    store->finestLevel = kLevels;
    for (const Series& s : channels)
        store->AddChannel(s.info);
    const Block& b = blocks[block];
    store->anyCycle = b.anyBefore;
    store->lastMs = b.lastBefore;
    store->shortestStep = b.shortestStepBefore;
    return store;
}

std::shared_ptr<const CSampleStore> CSampleStore::DecodedBlock(std::size_t block) const {
    ++useClock;
    for (Decoded& d : decoded) {
        if (d.block == block) {
            d.used = useClock;
            return d.store;
        }
    }
    std::shared_ptr<CSampleStore> store = NewBlockStore(block);
    const Block& b = blocks[block];
    // Decoded again, the block must be what was read at first; a file changed since is not
    // drawn from.
    if (pager == nullptr || !pager->Load(block, *store) || store->times.size() != b.cycles ||
        (b.cycles > 0 && (store->times.front() != b.firstMs || store->times.back() != b.lastMs))) {
        store = NewBlockStore(block);
    }
    if (decoded.size() >= kDecodedBlocks) {
        auto oldest =
            std::min_element(decoded.begin(), decoded.end(),
                             [](const Decoded& a, const Decoded& b) { return a.used < b.used; });
        decoded.erase(oldest);
    }
    decoded.push_back(Decoded{block, store, useClock});
    return store;
}

std::vector<CSampleStore::Span> CSampleStore::Spans(int64_t t0, int64_t t1) const {
    std::vector<Span> out;
    if (t1 <= t0)
        return out;
    if (!options.paged) {
        const std::size_t begin = CycleAtOrAfter(t0);
        const std::size_t end = CycleAtOrAfter(t1);
        if (begin < end)
            out.push_back(Span{nullptr, this, begin, end});
        return out;
    }
    // Blocks are in time order: the first whose last cycle is not before t0 starts the range.
    auto it = std::partition_point(blocks.begin(), blocks.end(),
                                   [t0](const Block& b) { return b.lastMs < t0; });
    for (; it != blocks.end() && (it->cycles == 0 || it->firstMs < t1); ++it) {
        if (it->cycles == 0)
            continue;
        std::shared_ptr<const CSampleStore> block =
            DecodedBlock(static_cast<std::size_t>(it - blocks.begin()));
        const std::size_t begin = block->CycleAtOrAfter(t0);
        const std::size_t end = block->CycleAtOrAfter(t1);
        if (begin < end) {
            const CSampleStore* from = block.get();
            out.push_back(Span{std::move(block), from, begin, end});
        }
    }
    return out;
}

void CSampleStore::DropFinestLevel() {
    for (Series& s : channels) {
        storedBuckets -= s.levels[finestLevel].size();
        std::deque<Bucket>().swap(s.levels[finestLevel]);
    }
    ++finestLevel;
}
