#pragma once
#include <sys/resource.h>

#include <csignal>

// Limits the size of files this process writes while it lives; SIGXFSZ is ignored so that a
// write that crosses the limit comes back short or with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        if (::getrlimit(RLIMIT_FSIZE, &saved_) == 0) {
            rlimit limit = saved_;
            limit.rlim_cur = bytes;
            active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
    }
    ~FileSizeLimit() {
        Lift();
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit holds: it could be set and has not been lifted.
    bool Active() const { return active_; }

    // Ends the limit before the guard ends.
    void Lift() {
        if (active_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
            active_ = false;
        }
    }

private:
    void (*oldHandler_)(int);
    rlimit saved_{};
    bool active_ = false;
};
