#include "link/TraceSink.h"

#include <windows.h>

#include "os/FileWrite.h"

namespace linktrace {

void WriteTraceLine(const std::string& line) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    WriteAll(reinterpret_cast<std::intptr_t>(err), line.data(), line.size());
}

}  // namespace linktrace
