#include "link/PortDiagnosis.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

// The group that owns the device (dialout on Debian), for the advice to join it.
std::string DeviceGroup(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "dialout";
    struct group entry {};
    struct group* found = nullptr;
    char buffer[1024];
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found ||
        st.st_gid == 0) {
        return "dialout";
    }
    return found->gr_name;
}

// The errno an open would most likely meet, found without opening (an open raises the
// modem lines and could disturb the program that holds the port).
int Examine(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISCHR(st.st_mode))
        return ENOTTY;
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return errno;
    return 0;
}

}  // namespace

std::string DescribeOpenFailure(int portNumber, int openError,
                                const std::filesystem::path& portsFolder,
                                const std::filesystem::path& devRoot) {
    const std::filesystem::path path = comport::ResolvePath(portNumber, portsFolder, devRoot);
    const std::string com = "COM" + std::to_string(portNumber);
    if (path.empty()) {
        return "Numer " + com + " nie jest przypisany żadnemu urządzeniu. Utwórz dowiązanie " +
               "ports/com" + std::to_string(portNumber) + " wskazujące urządzenie.";
    }
    const std::string device = path.string();
    const int error = openError != 0 ? openError : Examine(path);
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "Urządzenie " + device + " nie istnieje (odłączony adapter?).";
        case EACCES:
        case EPERM: {
            const std::string group = DeviceGroup(path);
            return "Brak uprawnień do " + device + " — dodaj użytkownika do grupy " + group +
                   ": sudo adduser $USER " + group + ", potem zaloguj się ponownie.";
        }
        case EBUSY:
        case EWOULDBLOCK:
            return "Port jest używany przez inny program (" + device + ").";
        case ENOTTY:
            return device + " nie jest portem szeregowym.";
        case 0:
            return "Urządzenie " + device +
                   " nie odpowiada. Sprawdź, czy jest podłączone i czy nie używa go inny program.";
        default:
            return "Błąd systemu przy otwieraniu " + device + ": " +
                   std::error_code(error, std::generic_category()).message() + ".";
    }
}

std::string OpenErrorText(int openError) {
    return std::error_code(openError, std::generic_category()).message();
}
