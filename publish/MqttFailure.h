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
    NotBroker,        // something answers on the port, but not as an MQTT broker
    ProtocolVersion,  // the broker does not speak the asked protocol version
    PublishRefused,   // the broker acknowledged a publish with a failure reason
    Settings,         // the settings cannot be used (named in the detail)
    Other,
};

// A failure as the user reads it (failure and detail: Polish, or a path or topic) and, for the
// log only, the library's or TLS's own words.
struct MqttReason {
    MqttFailure failure = MqttFailure::None;
    std::string detail;
    std::string original;
};

// Refusals that need the user to act: they are reported once and retried at the longest pace.
bool IsRefusal(MqttFailure failure);

// The reason in Polish, for the window and the recorder's log; detail (Polish words, a path or a
// topic, never a password) is appended when given.
std::string MqttFailureText(MqttFailure failure, std::string_view detail = {});
// The same followed by the library's own words in brackets, for a log.
std::string MqttReasonLogText(const MqttReason& reason);
// A refusal in a few Polish words for a status line ("odmowa dostępu"); empty for a failure
// that is not a refusal.
std::string MqttRefusalShortText(MqttFailure failure);
// A file error number in Polish.
std::string FileErrorText(int error);
