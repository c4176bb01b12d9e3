#include "publish/MqttFailure.h"

#include <cerrno>

bool IsRefusal(MqttFailure failure) {
    switch (failure) {
        case MqttFailure::BadCredentials:
        case MqttFailure::NotAuthorized:
        case MqttFailure::Refused:
        case MqttFailure::TlsCertificate:
        case MqttFailure::TlsFiles:
        case MqttFailure::PasswordFile:
        case MqttFailure::PublishRefused:
        case MqttFailure::Settings:
            return true;
        default:
            return false;
    }
}

std::string MqttFailureText(MqttFailure failure, std::string_view detail) {
    std::string text;
    switch (failure) {
        case MqttFailure::None:
            text = "połączono z brokerem";
            break;
        case MqttFailure::HostNotFound:
            text = "nie znaleziono serwera o tej nazwie";
            break;
        case MqttFailure::ConnectionRefused:
            text = "serwer odrzucił połączenie (broker nie działa na tym porcie?)";
            break;
        case MqttFailure::Timeout:
            text = "serwer nie odpowiedział w czasie";
            break;
        case MqttFailure::ConnectionLost:
            text = "połączenie z brokerem zostało przerwane";
            break;
        case MqttFailure::BadCredentials:
            text = "broker odrzucił nazwę użytkownika lub hasło";
            break;
        case MqttFailure::NotAuthorized:
            text = "broker odmówił dostępu (brak uprawnień)";
            break;
        case MqttFailure::Refused:
            text = "broker odrzucił połączenie";
            break;
        case MqttFailure::TlsCertificate:
            text = "certyfikat serwera nie jest zaufany";
            break;
        case MqttFailure::Tls:
            text = "błąd połączenia TLS";
            break;
        case MqttFailure::TlsFiles:
            text = "nie można użyć pliku CA, certyfikatu lub klucza";
            break;
        case MqttFailure::PasswordFile:
            text = "nie można odczytać pliku z hasłem";
            break;
        case MqttFailure::NotBroker:
            text =
                "serwer pod tym adresem nie odpowiada jak broker MQTT (zły port albo broker "
                "wymaga TLS?)";
            break;
        case MqttFailure::ProtocolVersion:
            text = "broker nie obsługuje tej wersji protokołu MQTT";
            break;
        case MqttFailure::PublishRefused:
            text = "broker odmówił przyjęcia publikacji";
            break;
        case MqttFailure::Settings:
            text = "ustawień nie można użyć";
            break;
        case MqttFailure::Other:
            text = "błąd połączenia z brokerem";
            break;
    }
    if (!detail.empty()) {
        text += " (";
        text += detail;
        text += ")";
    }
    return text;
}

std::string MqttReasonLogText(const MqttReason& reason) {
    std::string text = MqttFailureText(reason.failure, reason.detail);
    if (!reason.original.empty()) {
        text += " [" + reason.original + "]";
    }
    return text;
}

std::string MqttRefusalShortText(MqttFailure failure) {
    switch (failure) {
        case MqttFailure::BadCredentials:
            return "zła nazwa użytkownika lub hasło";
        case MqttFailure::NotAuthorized:
            return "odmowa dostępu";
        case MqttFailure::Refused:
            return "broker odmówił połączenia";
        case MqttFailure::TlsCertificate:
            return "niezaufany certyfikat serwera";
        case MqttFailure::TlsFiles:
            return "błędny plik CA, certyfikatu lub klucza";
        case MqttFailure::PasswordFile:
            return "brak pliku z hasłem";
        case MqttFailure::PublishRefused:
            return "odmowa publikacji";
        case MqttFailure::Settings:
            return "błędne ustawienia";
        default:
            return {};
    }
}

std::string FileErrorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "brak uprawnień";
        case EROFS:
            return "system plików tylko do odczytu";
        case ENOSPC:
            return "brak miejsca na dysku";
        case EDQUOT:
            return "przekroczony przydział miejsca na dysku";
        case EFBIG:
            return "plik nie może być większy";
        case ENOENT:
        case ENOTDIR:
            return "folder nie istnieje";
        case ELOOP:
            return "to jest dowiązanie symboliczne";
        case EISDIR:
        case EINVAL:
            return "to nie jest zwykły plik";
        case EIO:
            return "błąd wejścia-wyjścia";
        default:
            return "błąd pliku nr " + std::to_string(error);
    }
}
