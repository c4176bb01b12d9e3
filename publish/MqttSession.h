#pragma once
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "publish/MqttFailure.h"
#include "publish/MqttSettings.h"

struct mosquitto;

// One connection attempt and its life on one libmosquitto instance, driven by the caller's own
// poll loop (Socket, WantWrite, Service): no thread of the library's, no blocking call after
// Begin. Callbacks run inside Service, on the caller's thread. A new attempt takes a new
// session, so nothing of a broken connection is left in the library to be sent twice.
// Every reason is given in Polish; the library's own words go to MqttReason::original only.
class MqttSession {
public:
    struct Handlers {
        std::function<void()> connected;
        // PUBACK (or sent, for QoS 0); reason is MQTT 5's reason code, 0 for success and
        // always 0 under 3.1.1, where a broker acknowledges even a publish it refused.
        std::function<void(int mid, int reason)> published;
        // retained: the broker kept the message, it was not sent just now.
        std::function<void(std::string_view topic, std::string_view payload, bool retained)>
            message;
    };
    struct Will {
        std::string topic;
        std::string payload;
        int qos = 1;
    };

    // mqtt5: speak MQTT 5 (a broker that does not answers ProtocolVersion: try 3.1.1 then).
    MqttSession(std::string clientId, bool cleanSession, Handlers handlers, bool mqtt5 = true);
    ~MqttSession();
    MqttSession(const MqttSession&) = delete;
    MqttSession& operator=(const MqttSession&) = delete;

    // Sets up credentials, TLS and the will, and starts connecting. password is used only here.
    MqttFailure Begin(const MqttSettings& settings, const std::string& password,
                      const std::optional<Will>& will, MqttReason& reason);

    int Socket() const;
    bool WantWrite() const;
    bool IsConnected() const { return connected_; }
    // Handles the socket's poll events (0 for a periodic call); None while all is well.
    MqttFailure Service(short revents, MqttReason& reason);

    // Returns false when the library refuses (not connected, out of memory).
    bool Publish(const std::string& topic, std::string_view payload, int qos, bool retain,
                 int* mid);
    bool Subscribe(const std::string& topic, int qos);
    bool Unsubscribe(const std::string& topic);
    void Disconnect();

private:
    static void OnConnect(mosquitto*, void* self, int rc, int flags, const struct mqtt5__property*);
    static void OnPublish(mosquitto*, void* self, int mid, int reason,
                          const struct mqtt5__property*);
    static void OnMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);
    MqttFailure Classify(int rc, int savedErrno, MqttReason& reason) const;
    MqttFailure ClassifyConnack(MqttReason& reason) const;

    mosquitto* mosq_ = nullptr;
    Handlers handlers_;
    bool connected_ = false;
    int connackCode_ = -1;  // the broker's refusal code, -1 before any
    bool credentials_ = false;
    bool mqtt5_ = true;
    std::string lastError_;  // the library's last error line (TLS reasons come this way)
};

// Why the CA, certificate or key file of TLS settings cannot be used, in Polish, naming the
// file; empty when each given file exists, is readable and holds what PEM of its kind holds.
std::string TlsFilesProblem(const MqttSettings& settings);
