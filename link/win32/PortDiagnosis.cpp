#include "link/PortDiagnosis.h"

#include <windows.h>

#include "link/win32/ComPortProbe.h"
#include "os/win32/WideText.h"

std::string DescribeOpenFailure(int portNumber, int openError,
                                const std::filesystem::path& /*portsFolder*/,
                                const std::filesystem::path& /*devRoot*/) {
    const std::string com = "COM" + std::to_string(portNumber);
    if (portNumber < 1 || portNumber > comport::kMaxPort)
        return "Numer " + com + " jest spoza zakresu COM1-COM256.";
    const int error = openError != 0             ? openError
                      : ComPortKnown(portNumber) ? 0
                                                 : static_cast<int>(ERROR_FILE_NOT_FOUND);
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NOT_READY:
            return "Urządzenie " + com + " nie istnieje (odłączony adapter?).";
        // Windows answers an open of a port that another program holds with access denied.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return "Port jest używany przez inny program (" + com + ").";
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return com + " nie jest portem szeregowym.";
        case 0:
        case ERROR_GEN_FAILURE:
        case ERROR_SEM_TIMEOUT:
            return "Urządzenie " + com +
                   " nie odpowiada. Sprawdź, czy jest podłączone i czy nie używa go inny program.";
        default:
            return "Błąd systemu przy otwieraniu " + com + ": " + OpenErrorText(error) + ".";
    }
}

std::string OpenErrorText(int openError) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(openError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
    if (text != nullptr)
        LocalFree(text);
    // The system's texts end in a full stop and a line break; the callers add their own.
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(openError) : Utf8FromWide(message);
}
