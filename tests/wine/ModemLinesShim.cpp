// Test-only: a native Linux library that wine loads with LD_PRELOAD, so that a COM port
// mapped to a pseudo-terminal behaves like a serial port with modem lines.
//
// Wine's serial driver asks for the modem lines (TIOCMGET) when a WaitCommEvent starts and
// sets DTR and RTS through TIOCMBIS/TIOCMBIC/TIOCMSET; a pseudo-terminal refuses those ioctls,
// so WaitCommEvent fails at once and EscapeCommFunction fails. This library answers the
// modem-line ioctls for pseudo-terminal slaves from a table of its own (DTR and RTS as last
// set; CTS, DSR and CD always on, as with a peer on a null-modem cable) and passes every
// other ioctl, and every ioctl on anything else, to the real one.
//
// It also opens every file with O_NOCTTY. The wine server is a session leader: the first
// pseudo-terminal it opened would become its controlling terminal, and when the simulator ends
// the hang-up would make the server dump its objects onto the test's output.
//
// With ORVEX_MODEMLINES_LOG naming a file, every change of DTR/RTS is appended to it as one
// line "<pty> DTR=<0|1> RTS=<0|1>", so that a test can see the lines being raised and dropped.
// Never part of the program or its package.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);
using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);

struct PtyLines {
    dev_t device;
    int lines;
};

std::mutex tableMutex;
PtyLines table[64];
int used = 0;

IoctlFunction RealIoctl() {
    static IoctlFunction real = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The mode argument exists only when a file may be created.
mode_t ModeOf(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

// Unix98 pseudo-terminal slaves have majors 136-143.
bool IsPtySlave(int fd, dev_t& device) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int major = ::major(st.st_rdev);
    device = st.st_rdev;
    return major >= 136 && major <= 143;
}

// Caller holds tableMutex.
int& LinesOf(dev_t device) {
    for (int i = 0; i < used; ++i) {
        if (table[i].device == device)
            return table[i].lines;
    }
    const int slot = used < 64 ? used++ : 63;
    table[slot] = {device, 0};
    return table[slot].lines;
}

void Log(dev_t device, int lines) {
    const char* file = std::getenv("ORVEX_MODEMLINES_LOG");
    if (file == nullptr || *file == '\0')
        return;
    const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char line[96];
    const int n = std::snprintf(line, sizeof line, "pts/%u DTR=%d RTS=%d\n",
                                ::minor(device) + (::major(device) - 136) * 256,
                                (lines & TIOCM_DTR) ? 1 : 0, (lines & TIOCM_RTS) ? 1 : 0);
    if (n > 0 && ::write(fd, line, static_cast<size_t>(n)) < 0) {
        // A test that cannot log sees the missing line; nothing else to do here.
    }
    ::close(fd);
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    dev_t device = 0;
    const bool modemRequest = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
                              request == TIOCMBIC || request == TIOCMIWAIT;
    if (!modemRequest || !IsPtySlave(fd, device)) {
        IoctlFunction real = RealIoctl();
        if (real == nullptr) {
            errno = ENOSYS;
            return -1;
        }
        return real(fd, request, argument);
    }
    // The lines of a pseudo-terminal never change by themselves: nothing to wait for.
    if (request == TIOCMIWAIT) {
        errno = EINVAL;
        return -1;
    }
    int* value = static_cast<int*>(argument);
    if (value == nullptr) {
        errno = EFAULT;
        return -1;
    }
    std::lock_guard guard(tableMutex);
    int& lines = LinesOf(device);
    const int before = lines;
    const int settable = TIOCM_DTR | TIOCM_RTS;
    if (request == TIOCMGET) {
        *value = lines | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        return 0;
    }
    if (request == TIOCMSET)
        lines = *value & settable;
    else if (request == TIOCMBIS)
        lines |= *value & settable;
    else
        lines &= ~(*value & settable);
    if (lines != before)
        Log(device, lines);
    return 0;
}

extern "C" int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const OpenFunction real = Next<OpenFunction>("open");
    return real(path, flags | O_NOCTTY, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const OpenFunction real = Next<OpenFunction>("open64");
    return real(path, flags | O_NOCTTY, mode);
}

extern "C" int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const OpenAtFunction real = Next<OpenAtFunction>("openat");
    return real(dir, path, flags | O_NOCTTY, mode);
}

extern "C" int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const OpenAtFunction real = Next<OpenAtFunction>("openat64");
    return real(dir, path, flags | O_NOCTTY, mode);
}
