#pragma once
#include <cstddef>

// Linking AllocationCounter.cpp replaces the global operator new and delete with versions that
// count the bytes held (as malloc reports them), for memory tests of one program.
namespace allocation {

std::size_t HeldBytes();
std::size_t PeakBytes();
void ResetPeak();  // the peak starts again from the bytes held now

}  // namespace allocation
