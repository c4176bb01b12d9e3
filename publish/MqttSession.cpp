#include "publish/MqttSession.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// An encrypted key must never make the library ask on the terminal.
int NoKeyPassword(char*, int, int, void*) {
    return 0;
}

}  // namespace

MqttSession::MqttSession(std::string clientId, bool cleanSession, Handlers handlers, bool mqtt5)
    : handlers_(std::move(handlers)), mqtt5_(mqtt5) {
    InitLibrary();
    mosq_ = mosquitto_new(clientId.c_str(), cleanSession, this);
    if (mosq_ != nullptr) {
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION,
                             mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
        mosquitto_int_option(mosq_, MOSQ_OPT_SEND_MAXIMUM, 100);
        mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_connect_v5_callback_set(mosq_, &MqttSession::OnConnect);
        mosquitto_publish_v5_callback_set(mosq_, &MqttSession::OnPublish);
        mosquitto_message_callback_set(mosq_, &MqttSession::OnMessage);
        mosquitto_log_callback_set(mosq_, &MqttSession::OnLog);
    }
}

MqttSession::~MqttSession() {
    if (mosq_ != nullptr) {
        mosquitto_destroy(mosq_);
    }
}

MqttFailure MqttSession::Begin(const MqttSettings& s, const std::string& password,
                               const std::optional<Will>& will, MqttReason& reason) {
    reason = {};
    if (mosq_ == nullptr) {
        reason.original = "mosquitto_new";
        return reason.failure = MqttFailure::Other;
    }
    credentials_ = !s.username.empty();
    if (!s.username.empty() &&
        mosquitto_username_pw_set(mosq_, s.username.c_str(),
                                  s.passwordFile.empty() ? nullptr : password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        reason.detail = "nazwa użytkownika nie jest poprawnym tekstem UTF-8";
        return reason.failure = MqttFailure::Settings;
    }
    if (s.tls) {
        // The library's answers to a missing or foreign file say nothing a user can act on.
        if (std::string problem = TlsFilesProblem(s); !problem.empty()) {
            reason.detail = std::move(problem);
            return reason.failure = MqttFailure::TlsFiles;
        }
        const char* ca = s.caFile.empty() ? nullptr : s.caFile.c_str();
        if (ca == nullptr) {
            mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        }
        const int rc =
            mosquitto_tls_set(mosq_, ca, ca == nullptr ? "/etc/ssl/certs" : nullptr,
                              s.certFile.empty() ? nullptr : s.certFile.c_str(),
                              s.keyFile.empty() ? nullptr : s.keyFile.c_str(), &NoKeyPassword);
        if (rc != MOSQ_ERR_SUCCESS) {
            reason.original = mosquitto_strerror(rc);
            return reason.failure = MqttFailure::TlsFiles;
        }
    }
    if (will &&
        mosquitto_will_set(mosq_, will->topic.c_str(), static_cast<int>(will->payload.size()),
                           will->payload.data(), will->qos, true) != MOSQ_ERR_SUCCESS) {
        reason.original = "will";
        return reason.failure = MqttFailure::Other;
    }
    const int rc = mosquitto_connect_async(mosq_, s.host.c_str(), s.EffectivePort(), s.keepalive);
    if (rc != MOSQ_ERR_SUCCESS) {
        return reason.failure = Classify(rc, errno, reason);
    }
    return MqttFailure::None;
}

int MqttSession::Socket() const {
    return mosq_ != nullptr ? mosquitto_socket(mosq_) : -1;
}

bool MqttSession::WantWrite() const {
    return mosq_ != nullptr && mosquitto_want_write(mosq_);
}

MqttFailure MqttSession::Service(short revents, MqttReason& reason) {
    int rc = MOSQ_ERR_SUCCESS;
    if ((revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
        rc = mosquitto_loop_read(mosq_, 64);
    }
    if (rc == MOSQ_ERR_SUCCESS && (revents & POLLOUT) != 0) {
        rc = mosquitto_loop_write(mosq_, 64);
    }
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_loop_misc(mosq_);
    }
    const int savedErrno = errno;
    if (rc == MOSQ_ERR_SUCCESS && connackCode_ > 0) {
        rc = MOSQ_ERR_CONN_REFUSED;  // the broker said no; the library may not have closed yet
    }
    if (rc == MOSQ_ERR_SUCCESS) {
        return MqttFailure::None;
    }
    const MqttFailure failure = Classify(rc, savedErrno, reason);
    connected_ = false;
    reason.failure = failure;
    return failure;
}

MqttFailure MqttSession::ClassifyConnack(MqttReason& reason) const {
    if (mqtt5_) {
        reason.original = mosquitto_reason_string(connackCode_);
        switch (connackCode_) {
            case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
                return MqttFailure::ProtocolVersion;
            case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
                return MqttFailure::BadCredentials;
            case MQTT_RC_NOT_AUTHORIZED:
                return credentials_ ? MqttFailure::BadCredentials : MqttFailure::NotAuthorized;
            case MQTT_RC_CLIENTID_NOT_VALID:
                reason.detail = "broker nie przyjął identyfikatora klienta";
                return MqttFailure::Refused;
            case MQTT_RC_SERVER_UNAVAILABLE:
            case MQTT_RC_SERVER_BUSY:
                reason.detail = "broker jest niedostępny lub przeciążony";
                return MqttFailure::Refused;
            default:
                return MqttFailure::Refused;
        }
    }
    reason.original = mosquitto_connack_string(connackCode_);
    switch (connackCode_) {
        case 1:
            return MqttFailure::ProtocolVersion;
        case 2:
            reason.detail = "broker nie przyjął identyfikatora klienta";
            return MqttFailure::Refused;
        case 3:
            reason.detail = "broker jest niedostępny";
            return MqttFailure::Refused;
        case 4:
            return MqttFailure::BadCredentials;
        case 5:
            // Brokers answer a wrong password with "not authorised" as often as not.
            return credentials_ ? MqttFailure::BadCredentials : MqttFailure::NotAuthorized;
        default:
            return MqttFailure::Refused;
    }
}

MqttFailure MqttSession::Classify(int rc, int savedErrno, MqttReason& reason) const {
    reason.detail.clear();
    reason.original.clear();
    if (connackCode_ > 0) {
        return ClassifyConnack(reason);
    }
    // A TLS refusal often shows only as a closed connection with a logged reason.
    const bool tlsLogged = lastError_.find("OpenSSL") != std::string::npos ||
                           lastError_.find("SSL") != std::string::npos;
    const bool beforeConnack = !connected_ && connackCode_ < 0;
    switch (rc) {
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_LOOKUP:
            reason.original = mosquitto_strerror(rc);
            return MqttFailure::HostNotFound;
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            reason.original = lastError_;
            if (lastError_.find("certificate verify failed") != std::string::npos) {
                return MqttFailure::TlsCertificate;
            }
            reason.detail = "czy serwer przyjmuje TLS na tym porcie?";
            return MqttFailure::Tls;
        case MOSQ_ERR_ERRNO:
            reason.original = std::strerror(savedErrno);
            if (savedErrno == ECONNREFUSED) {
                return MqttFailure::ConnectionRefused;
            }
            if (savedErrno == ETIMEDOUT) {
                return MqttFailure::Timeout;
            }
            if (beforeConnack && (savedErrno == 0 || savedErrno == ECONNRESET ||
                                  savedErrno == EPIPE || savedErrno == EPROTO)) {
                return MqttFailure::NotBroker;
            }
            return connected_ ? MqttFailure::ConnectionLost : MqttFailure::Other;
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
        case MOSQ_ERR_KEEPALIVE:
        case MOSQ_ERR_PROTOCOL:
        case MOSQ_ERR_MALFORMED_PACKET:
        case MOSQ_ERR_MALFORMED_UTF8:
            reason.original = !lastError_.empty() ? lastError_ : mosquitto_strerror(rc);
            if (tlsLogged) {
                return lastError_.find("certificate verify failed") != std::string::npos
                           ? MqttFailure::TlsCertificate
                           : MqttFailure::Tls;
            }
            if (beforeConnack && rc != MOSQ_ERR_KEEPALIVE) {
                return MqttFailure::NotBroker;
            }
            return MqttFailure::ConnectionLost;
        default:
            reason.original = mosquitto_strerror(rc);
            return MqttFailure::Other;
    }
}

bool MqttSession::Publish(const std::string& topic, std::string_view payload, int qos, bool retain,
                          int* mid) {
    return mosquitto_publish(mosq_, mid, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), qos, retain) == MOSQ_ERR_SUCCESS;
}

bool MqttSession::Subscribe(const std::string& topic, int qos) {
    return mosquitto_subscribe(mosq_, nullptr, topic.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

bool MqttSession::Unsubscribe(const std::string& topic) {
    return mosquitto_unsubscribe(mosq_, nullptr, topic.c_str()) == MOSQ_ERR_SUCCESS;
}

void MqttSession::Disconnect() {
    if (mosq_ != nullptr) {
        mosquitto_disconnect(mosq_);
    }
    connected_ = false;
}

void MqttSession::OnConnect(mosquitto*, void* self, int rc, int, const mosquitto_property*) {
    auto* s = static_cast<MqttSession*>(self);
    s->connackCode_ = rc;
    if (rc == 0) {
        s->connected_ = true;
        s->lastError_.clear();
        if (s->handlers_.connected) {
            s->handlers_.connected();
        }
    }
}

void MqttSession::OnPublish(mosquitto*, void* self, int mid, int reason,
                            const mosquitto_property*) {
    auto* s = static_cast<MqttSession*>(self);
    if (s->handlers_.published) {
        s->handlers_.published(mid, reason);
    }
}

void MqttSession::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* s = static_cast<MqttSession*>(self);
    if (s->handlers_.message && m->topic != nullptr) {
        s->handlers_.message(m->topic,
                             std::string_view(static_cast<const char*>(m->payload),
                                              static_cast<std::size_t>(std::max(0, m->payloadlen))),
                             m->retain);
    }
}

void MqttSession::OnLog(mosquitto*, void* self, int level, const char* text) {
    if ((level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) != 0 && text != nullptr) {
        static_cast<MqttSession*>(self)->lastError_ = text;
    }
}

namespace {

// The first bytes of a file, or why it cannot be read.
std::string FileStart(const std::string& path, std::string& head) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return "nie istnieje";
    }
    if (!std::filesystem::is_regular_file(status)) {
        return "nie jest zwykłym plikiem";
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return "nie można go odczytać (" + FileErrorText(errno) + ")";
    }
    head.assign(65536, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    return {};
}

std::string PemProblem(const char* what, const std::string& path, std::string_view marker) {
    std::string head;
    std::string problem = FileStart(path, head);
    if (problem.empty() && head.find(marker) == std::string::npos) {
        problem = "nie zawiera " + std::string(marker) + " w formacie PEM";
    }
    return problem.empty() ? problem : std::string(what) + " „" + path + "” " + problem;
}

}  // namespace

std::string TlsFilesProblem(const MqttSettings& s) {
    if (!s.caFile.empty()) {
        if (std::string p = PemProblem("plik CA", s.caFile, "-----BEGIN CERTIFICATE-----");
            !p.empty()) {
            return p;
        }
    }
    if (s.certFile.empty() != s.keyFile.empty()) {
        return s.certFile.empty() ? "podano klucz bez certyfikatu klienta"
                                  : "podano certyfikat klienta bez klucza";
    }
    if (!s.certFile.empty()) {
        if (std::string p =
                PemProblem("plik certyfikatu", s.certFile, "-----BEGIN CERTIFICATE-----");
            !p.empty()) {
            return p;
        }
        if (std::string p = PemProblem("plik klucza", s.keyFile, "PRIVATE KEY-----"); !p.empty()) {
            return p;
        }
    }
    return {};
}
