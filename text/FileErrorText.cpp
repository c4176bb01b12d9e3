#include "text/FileErrorText.h"

#include <cerrno>
#include <cstdio>

std::string DescribeFileError(int error) {
    if (IsDiskQuotaError(error)) {
        return "przekroczony przydział miejsca na dysku";
    }
    switch (error) {
        case 0:
            return {};
        case kErrorNotRegularFile:
            return "ścieżka nie wskazuje zwykłego pliku";
        case kErrorCannotCreateFile:
            return "w tym folderze nie można tworzyć plików";
        case kErrorSharedRecordingFile:
            return "zapis tekstowy i binarny nie mogą trafiać do jednego pliku";
        case ENOSPC:
            return "brak miejsca na dysku";
        case kErrorInvalidName:
            return "nazwa pliku zawiera niedozwolone znaki";
        case EFBIG:
            return "plik osiągnął największy dozwolony rozmiar";
        case EIO:
            return "błąd zapisu na nośniku";
        case EROFS:
            return "nośnik jest tylko do odczytu";
        case EACCES:
        case EPERM:
            return "brak uprawnień do pliku";
        case ENOENT:
            return "folder nie istnieje";
        case ENOTDIR:
            return "część ścieżki nie jest folderem";
        case EISDIR:
            return "ścieżka wskazuje folder";
        case EWOULDBLOCK:
            return "plik jest używany przez inny program";
        case kErrorSharingViolation:
            return "plik jest otwarty w innym programie";
        case ENODEV:
        case ENXIO:
            return "nośnik został odłączony";
        case ENAMETOOLONG:
            return "zbyt długa nazwa pliku";
        case ELOOP:
            return "zbyt wiele dowiązań symbolicznych w ścieżce";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "błąd systemu nr %d",
                          error >= kErrorSystemBase ? error - kErrorSystemBase : error);
            return text;
        }
    }
}

std::string DescribeReadError(int error) {
    switch (error) {
        case ENOENT:
            return "plik nie istnieje";
        case EACCES:
        case EPERM:
            return "brak uprawnień do odczytu pliku";
        case EIO:
            return "błąd odczytu z nośnika";
        default:
            return DescribeFileError(error);
    }
}
