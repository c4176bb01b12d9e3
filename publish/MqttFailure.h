#pragma once
#include <string>
#include <string_view>

// Why a connection to the broker did not come about or ended.
enum class MqttFailure {
    None,
    HostNotFound,
    ConnectionRefused,  // nothing listens there
    Timeout,            // no answer in time
    ConnectionLost,
    BadCredentials,  // user name or password refused
    NotAuthorized,
    Refused,         // any other refusal by the broker
    TlsCertificate,  // the server's certificate is not trusted
    Tls,             // another TLS failure
    TlsFiles,        // the CA, certificate or key file cannot be used
    PasswordFile,
    Other,
};

// Refusals that need the user to act: they are reported once and retried at the longest pace.
bool IsRefusal(MqttFailure failure);

// The reason in Polish, for the window and the recorder's log; detail (the library's or TLS's
// own words, never a password) is appended when given.
std::string MqttFailureText(MqttFailure failure, std::string_view detail = {});
