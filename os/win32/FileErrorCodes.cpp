#include "os/FileErrorCodes.h"

// Windows' C library has no EDQUOT: the file layer reports a used-up quota as its own number.
bool IsDiskQuotaError(int error) {
    return error == kErrorDiskQuota;
}
