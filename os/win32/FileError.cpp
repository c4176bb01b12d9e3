#include "os/win32/FileError.h"

#include <windows.h>

#include <cerrno>

#include "os/FileErrorCodes.h"

namespace {

constexpr DWORD kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED, missing in mingw's headers

}  // namespace

int FileErrorFromWin32(unsigned long code) {
    switch (code) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case kDiskQuotaExceeded:
            return kErrorDiskQuota;
        case ERROR_FILE_TOO_LARGE:
            return EFBIG;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        // A sharing violation keeps its own number: it is told apart from the lock another
        // recording program holds.
        case ERROR_LOCK_VIOLATION:
            return EWOULDBLOCK;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NO_MEDIA_IN_DRIVE:
        case ERROR_MEDIA_CHANGED:
        case ERROR_UNRECOGNIZED_VOLUME:
        case ERROR_NETNAME_DELETED:
            return ENODEV;
        case ERROR_CRC:
        case ERROR_SEEK:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE:
            return EIO;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return kErrorInvalidName;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        default:
            return kErrorSystemBase + static_cast<int>(code);
    }
}

int LastFileError() {
    return FileErrorFromWin32(GetLastError());
}
