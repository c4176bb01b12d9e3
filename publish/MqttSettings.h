#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

class CIniEx;

// The [MQTT] section of orvex.ini. Older versions of the program ignore the section, and a file
// without it reads as publishing off. Text values are UTF-8 here (Windows-1250 in the file).
// The password is never part of the settings: only the file that holds it.
struct MqttSettings {
    static constexpr int kPlainPort = 1883;
    static constexpr int kTlsPort = 8883;

    bool enabled = false;
    std::string host = "localhost";
    int port = 0;  // 0: the default for the transport (see EffectivePort)
    bool tls = false;
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string username;
    std::string passwordFile;
    std::string clientId;  // empty: DefaultClientId
    std::string topicPrefix = "orvex";
    int qos = 1;            // 0 or 1
    int keepalive = 60;     // seconds
    bool discovery = true;  // Home Assistant discovery configs
    std::string discoveryPrefix = "homeassistant";
    std::string inputs = "11111111";  // input N is published when character N is "1"
    // Alarm commands over MQTT: off unless asked for, and only over TLS with a user name
    // unless commandsInsecure.
    bool commands = false;
    bool commandsInsecure = false;

    int EffectivePort() const { return port != 0 ? port : (tls ? kTlsPort : kPlainPort); }
    bool Publishes(int input) const {  // input 1..8
        return input >= 1 && input <= static_cast<int>(inputs.size()) && inputs[input - 1] == '1';
    }
    bool operator==(const MqttSettings&) const = default;
};

inline constexpr const char* kMqttSection = "MQTT";

// Reads the section; a damaged number falls back to its default rather than failing. The topic
// prefix and client id are kept as written: one that cannot be used is refused by
// MqttSettingsProblem, never replaced (a replaced prefix publishes where no one reads).
MqttSettings ReadMqttSettings(const CIniEx& ini);
bool HasMqttSection(const CIniEx& ini);
// Writes every key of the section (paths protected against ";").
void WriteMqttSettings(CIniEx& ini, const MqttSettings& settings);

// "orvex-<host name>-<8 hex digits of the settings folder>": two programs with different
// settings folders on one machine never take over each other's broker session.
std::string DefaultClientId(const std::filesystem::path& settingsFolder);
std::string EffectiveClientId(const MqttSettings& settings,
                              const std::filesystem::path& settingsFolder);

// Why a topic prefix cannot be used, in Polish; empty when it can: not empty, at most 200 bytes
// of UTF-8 without control characters or wildcards, no leading or trailing "/", no "$" first.
std::string TopicPrefixProblem(const std::string& prefix);
bool IsValidTopicPrefix(const std::string& prefix);
// Why a client id cannot be used; empty when it can (the empty id stands for the default).
std::string ClientIdProblem(const std::string& clientId);
// The first setting that cannot be used, naming its key and the reason; empty when all can.
std::string MqttSettingsProblem(const MqttSettings& settings);

// Why alarm commands asked for (COMMANDS=1) are refused with these settings, naming the key
// and the reason; empty when they are off or allowed. Publishing goes on either way.
std::string CommandsProblem(const MqttSettings& settings);
// Commands asked for and allowed.
inline bool CommandsActive(const MqttSettings& settings) {
    return settings.commands && CommandsProblem(settings).empty();
}

// Why a password file gave no password.
enum class PasswordFileError { None, Missing, NotRegularFile, TooLarge, Unreadable };

// A warning when others than the owner may read the password file; empty otherwise.
std::string PasswordFileWarning(const std::filesystem::path& path);

// The password is the file's first line (without its line end). The file is hostile input:
// only a regular file of at most 4 KiB is read.
PasswordFileError ReadPasswordFile(const std::filesystem::path& path, std::string& password);
