#include "publish/MqttSession.h"

#include <mosquitto.h>
#include <poll.h>

#include <cerrno>
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

MqttSession::MqttSession(std::string clientId, bool cleanSession, Handlers handlers)
    : handlers_(std::move(handlers)) {
    InitLibrary();
    mosq_ = mosquitto_new(clientId.c_str(), cleanSession, this);
    if (mosq_ != nullptr) {
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_int_option(mosq_, MOSQ_OPT_SEND_MAXIMUM, 100);
        mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_connect_callback_set(mosq_, &MqttSession::OnConnect);
        mosquitto_publish_callback_set(mosq_, &MqttSession::OnPublish);
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
                               const std::optional<Will>& will, std::string& detail) {
    detail.clear();
    if (mosq_ == nullptr) {
        detail = "mosquitto_new";
        return MqttFailure::Other;
    }
    credentials_ = !s.username.empty();
    if (!s.username.empty() &&
        mosquitto_username_pw_set(mosq_, s.username.c_str(),
                                  s.passwordFile.empty() ? nullptr : password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        return MqttFailure::Other;
    }
    if (s.tls) {
        const char* ca = s.caFile.empty() ? nullptr : s.caFile.c_str();
        if (ca == nullptr) {
            mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        }
        const int rc =
            mosquitto_tls_set(mosq_, ca, ca == nullptr ? "/etc/ssl/certs" : nullptr,
                              s.certFile.empty() ? nullptr : s.certFile.c_str(),
                              s.keyFile.empty() ? nullptr : s.keyFile.c_str(), &NoKeyPassword);
        if (rc != MOSQ_ERR_SUCCESS) {
            detail = mosquitto_strerror(rc);
            return MqttFailure::TlsFiles;
        }
    }
    if (will &&
        mosquitto_will_set(mosq_, will->topic.c_str(), static_cast<int>(will->payload.size()),
                           will->payload.data(), will->qos, true) != MOSQ_ERR_SUCCESS) {
        detail = "will";
        return MqttFailure::Other;
    }
    const int rc = mosquitto_connect_async(mosq_, s.host.c_str(), s.EffectivePort(), s.keepalive);
    if (rc != MOSQ_ERR_SUCCESS) {
        return Classify(rc, errno, detail);
    }
    return MqttFailure::None;
}

int MqttSession::Socket() const {
    return mosq_ != nullptr ? mosquitto_socket(mosq_) : -1;
}

bool MqttSession::WantWrite() const {
    return mosq_ != nullptr && mosquitto_want_write(mosq_);
}

MqttFailure MqttSession::Service(short revents, std::string& detail) {
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
    connected_ = false;
    return Classify(rc, savedErrno, detail);
}

MqttFailure MqttSession::Classify(int rc, int savedErrno, std::string& detail) const {
    detail.clear();
    if (connackCode_ > 0) {
        detail = mosquitto_connack_string(connackCode_);
        switch (connackCode_) {
            case 4:
                return MqttFailure::BadCredentials;
            case 5:
                // Brokers answer a wrong password with "not authorised" as often as not.
                return credentials_ ? MqttFailure::BadCredentials : MqttFailure::NotAuthorized;
            default:
                return MqttFailure::Refused;
        }
    }
    switch (rc) {
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_LOOKUP:
            return MqttFailure::HostNotFound;
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            detail = lastError_;
            if (lastError_.find("certificate verify failed") != std::string::npos) {
                return MqttFailure::TlsCertificate;
            }
            return MqttFailure::Tls;
        case MOSQ_ERR_ERRNO:
            if (savedErrno == ECONNREFUSED) {
                return MqttFailure::ConnectionRefused;
            }
            if (savedErrno == ETIMEDOUT) {
                return MqttFailure::Timeout;
            }
            detail = std::strerror(savedErrno);
            return connected_ ? MqttFailure::ConnectionLost : MqttFailure::Other;
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
        case MOSQ_ERR_KEEPALIVE:
            // A TLS refusal often shows only as a closed connection with a logged reason.
            if (!lastError_.empty() && lastError_.find("OpenSSL") != std::string::npos) {
                detail = lastError_;
                return lastError_.find("certificate verify failed") != std::string::npos
                           ? MqttFailure::TlsCertificate
                           : MqttFailure::Tls;
            }
            return MqttFailure::ConnectionLost;
        default:
            detail = mosquitto_strerror(rc);
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

void MqttSession::Disconnect() {
    if (mosq_ != nullptr) {
        mosquitto_disconnect(mosq_);
    }
    connected_ = false;
}

void MqttSession::OnConnect(mosquitto*, void* self, int rc) {
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

void MqttSession::OnPublish(mosquitto*, void* self, int mid) {
    auto* s = static_cast<MqttSession*>(self);
    if (s->handlers_.published) {
        s->handlers_.published(mid);
    }
}

void MqttSession::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* s = static_cast<MqttSession*>(self);
    if (s->handlers_.message && m->topic != nullptr) {
        s->handlers_.message(
            m->topic, std::string_view(static_cast<const char*>(m->payload),
                                       static_cast<std::size_t>(std::max(0, m->payloadlen))));
    }
}

void MqttSession::OnLog(mosquitto*, void* self, int level, const char* text) {
    if ((level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) != 0 && text != nullptr) {
        static_cast<MqttSession*>(self)->lastError_ = text;
    }
}
