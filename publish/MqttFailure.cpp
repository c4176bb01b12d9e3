#include "publish/MqttFailure.h"

bool IsRefusal(MqttFailure failure) {
    switch (failure) {
        case MqttFailure::BadCredentials:
        case MqttFailure::NotAuthorized:
        case MqttFailure::Refused:
        case MqttFailure::TlsCertificate:
        case MqttFailure::TlsFiles:
        case MqttFailure::PasswordFile:
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
