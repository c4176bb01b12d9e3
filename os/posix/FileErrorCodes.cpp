#include "os/FileErrorCodes.h"

#include <cerrno>

bool IsDiskQuotaError(int error) {
    return error == EDQUOT || error == kErrorDiskQuota;
}
