#include "recorder/RecorderLog.h"

#include "text/FileErrorText.h"

std::string ErrorText(int error) {
    // The file units' own numbers have no system text.
    switch (error) {
        case kErrorNotRegularFile:
            return "not a regular file";
        case kErrorCannotCreateFile:
            return "this folder takes no new files";
        case kErrorSharedRecordingFile:
            return "the text and the binary recording cannot share one file";
        case kErrorDiskQuota:
            return "disk quota exceeded";
        case kErrorInvalidName:
            return "the name holds characters a file name may not have";
        default:
            return SystemErrorText(error);
    }
}
