#include "link/TraceSink.h"

#include <windows.h>

namespace linktrace {

void WriteTraceLine(const std::string& line) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    const char* p = line.data();
    DWORD left = static_cast<DWORD>(line.size());
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(err, p, left, &written, nullptr) || written == 0)
            return;
        p += written;
        left -= written;
    }
}

}  // namespace linktrace
