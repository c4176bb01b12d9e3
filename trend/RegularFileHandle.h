#pragma once
#include <cstddef>
#include <cstdint>

#include "trend/RegularFile.h"

// The open file behind CRegularFile, and the one read call each platform provides.
struct CRegularFile::Handle {
    std::intptr_t file = -1;  // a descriptor or a handle; -1 while none is open
    uint64_t size = 0;
    int error = 0;
    ~Handle();  // closes the file
};

// One read call: the bytes read (0 at the end of the file), or -1 with error set.
int64_t ReadSome(std::intptr_t file, char* buffer, std::size_t n, int& error);
// Moves the read position; false with error set.
bool SeekTo(std::intptr_t file, uint64_t offset, int& error);
