#include "tests/store/AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> held{0};
std::atomic<std::size_t> peak{0};

void Add(void* p) {
    const std::size_t size = malloc_usable_size(p);
    const std::size_t now = held.fetch_add(size) + size;
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

}  // namespace

namespace allocation {

std::size_t HeldBytes() {
    return held.load();
}
std::size_t PeakBytes() {
    return peak.load();
}
void ResetPeak() {
    peak.store(held.load());
}

}  // namespace allocation

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    Add(p);
    return p;
}

void operator delete(void* p) noexcept {
    if (p != nullptr) {
        held.fetch_sub(malloc_usable_size(p));
        std::free(p);
    }
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
