#include "publish/MqttSettings.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

#include "store/IniEx.h"
#include "store/IniValue.h"
#include "text/Cp1250.h"

namespace {

constexpr std::uintmax_t kMaxPasswordFile = 4096;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Same encoding as the window's texts: Windows-1250, or UTF-8 behind a byte-order mark for what
// the code page cannot hold.
std::string Encode(const std::string& utf8) {
    if (std::optional<std::string> ansi = cp1250::FromUtf8(utf8);
        ansi && !std::string_view(*ansi).starts_with(kUtf8Mark)) {
        return *ansi;
    }
    return std::string(kUtf8Mark) + utf8;
}

std::string Decode(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Mark)) {
        return std::string(bytes.substr(kUtf8Mark.size()));
    }
    return cp1250::ToUtf8(bytes);
}

std::string Text(const CIniEx& ini, std::string_view key, const std::string& fallback) {
    return Decode(ini.GetText(kMqttSection, key, Encode(fallback)));
}

bool Flag(const CIniEx& ini, std::string_view key, bool fallback) {
    return ini.GetInt(kMqttSection, key, fallback ? 1 : 0) != 0;
}

// A client id longer than the protocol's 23 bytes is taken by every current broker, but not
// one of 65535 bytes.
constexpr std::size_t kMaxClientId = 256;
constexpr std::size_t kMaxTopicPrefix = 200;

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (n & 0x3F);
        }
        static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool HasControl(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

std::uint32_t Fnv1a(std::string_view bytes) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : bytes) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

}  // namespace

MqttSettings ReadMqttSettings(const CIniEx& ini) {
    const MqttSettings d;
    MqttSettings s;
    s.enabled = Flag(ini, "ENABLED", d.enabled);
    s.host = Text(ini, "HOST", d.host);
    if (s.host.empty()) {
        s.host = d.host;
    }
    s.tls = Flag(ini, "TLS", d.tls);
    const int port = ini.GetInt(kMqttSection, "PORT", 0);
    s.port = port >= 1 && port <= 65535 ? port : 0;
    s.caFile = Text(ini, "CA_FILE", d.caFile);
    s.certFile = Text(ini, "CERT_FILE", d.certFile);
    s.keyFile = Text(ini, "KEY_FILE", d.keyFile);
    s.username = Text(ini, "USERNAME", d.username);
    s.passwordFile = Text(ini, "PASSWORD_FILE", d.passwordFile);
    s.clientId = Text(ini, "CLIENT_ID", d.clientId);
    s.topicPrefix = Text(ini, "TOPIC_PREFIX", d.topicPrefix);
    const int qos = ini.GetInt(kMqttSection, "QOS", d.qos);
    s.qos = qos == 0 ? 0 : 1;
    const int keepalive = ini.GetInt(kMqttSection, "KEEPALIVE", d.keepalive);
    s.keepalive = keepalive >= 5 && keepalive <= 65535 ? keepalive : d.keepalive;
    s.discovery = Flag(ini, "DISCOVERY", d.discovery);
    s.discoveryPrefix = Text(ini, "DISCOVERY_PREFIX", d.discoveryPrefix);
    s.inputs = Text(ini, "INPUTS", d.inputs);
    s.commands = Flag(ini, "COMMANDS", d.commands);
    s.commandsInsecure = Flag(ini, "COMMANDS_INSECURE", d.commandsInsecure);
    return s;
}

bool HasMqttSection(const CIniEx& ini) {
    for (const IniSection& section : ini.Sections()) {
        if (section.name.size() == 4 && strncasecmp(section.name.c_str(), kMqttSection, 4) == 0) {
            return true;
        }
    }
    return false;
}

void WriteMqttSettings(CIniEx& ini, const MqttSettings& s) {
    auto text = [&](std::string_view key, const std::string& value) {
        ini.SetText(kMqttSection, key, ProtectSemicolons(Encode(value)));
    };
    ini.SetInt(kMqttSection, "ENABLED", s.enabled ? 1 : 0);
    text("HOST", s.host);
    ini.SetInt(kMqttSection, "PORT", s.port);
    ini.SetInt(kMqttSection, "TLS", s.tls ? 1 : 0);
    text("CA_FILE", s.caFile);
    text("CERT_FILE", s.certFile);
    text("KEY_FILE", s.keyFile);
    text("USERNAME", s.username);
    text("PASSWORD_FILE", s.passwordFile);
    text("CLIENT_ID", s.clientId);
    text("TOPIC_PREFIX", s.topicPrefix);
    ini.SetInt(kMqttSection, "QOS", s.qos);
    ini.SetInt(kMqttSection, "KEEPALIVE", s.keepalive);
    ini.SetInt(kMqttSection, "DISCOVERY", s.discovery ? 1 : 0);
    text("DISCOVERY_PREFIX", s.discoveryPrefix);
    text("INPUTS", s.inputs);
    // Written once used, so that a file that never had them stays as it was.
    for (const auto& [key, on] :
         {std::pair{"COMMANDS", s.commands}, std::pair{"COMMANDS_INSECURE", s.commandsInsecure}}) {
        if (on || ini.GetText(kMqttSection, key, "\x01") != "\x01") {
            ini.SetInt(kMqttSection, key, on ? 1 : 0);
        }
    }
}

std::string DefaultClientId(const std::filesystem::path& settingsFolder) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        std::snprintf(host, sizeof host, "host");
    }
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", Fnv1a(settingsFolder.lexically_normal().string()));
    return std::string("orvex-") + host + "-" + hash;
}

std::string EffectiveClientId(const MqttSettings& settings,
                              const std::filesystem::path& settingsFolder) {
    return settings.clientId.empty() ? DefaultClientId(settingsFolder) : settings.clientId;
}

std::string TopicPrefixProblem(const std::string& prefix) {
    if (prefix.empty()) {
        return "prefiks tematów jest pusty";
    }
    if (prefix.size() > kMaxTopicPrefix) {
        return "prefiks tematów jest dłuższy niż " + std::to_string(kMaxTopicPrefix) + " bajtów";
    }
    if (!IsUtf8(prefix)) {
        return "prefiks tematów nie jest poprawnym tekstem UTF-8";
    }
    if (HasControl(prefix)) {
        return "prefiks tematów zawiera znak sterujący";
    }
    if (prefix.find_first_of("+#") != std::string::npos) {
        return "prefiks tematów zawiera znak wieloznaczny „+” lub „#”";
    }
    if (prefix.front() == '/') {
        return "prefiks tematów nie może zaczynać się od „/”";
    }
    if (prefix.back() == '/') {
        return "prefiks tematów nie może kończyć się na „/”";
    }
    if (prefix.front() == '$') {
        // Brokers keep "$" topics for themselves and refuse publishing there.
        return "prefiks tematów nie może zaczynać się od „$”";
    }
    return {};
}

bool IsValidTopicPrefix(const std::string& prefix) {
    return TopicPrefixProblem(prefix).empty();
}

std::string ClientIdProblem(const std::string& clientId) {
    if (clientId.size() > kMaxClientId) {
        return "identyfikator klienta jest dłuższy niż " + std::to_string(kMaxClientId) + " bajtów";
    }
    if (!IsUtf8(clientId)) {
        return "identyfikator klienta nie jest poprawnym tekstem UTF-8";
    }
    if (HasControl(clientId)) {
        return "identyfikator klienta zawiera znak sterujący";
    }
    return {};
}

std::string MqttSettingsProblem(const MqttSettings& settings) {
    if (std::string why = TopicPrefixProblem(settings.topicPrefix); !why.empty()) {
        return "[MQTT] TOPIC_PREFIX: " + why;
    }
    if (std::string why = ClientIdProblem(settings.clientId); !why.empty()) {
        return "[MQTT] CLIENT_ID: " + why;
    }
    if (std::string why = TopicPrefixProblem(settings.discoveryPrefix); !why.empty()) {
        return "[MQTT] DISCOVERY_PREFIX: " + why;
    }
    if (settings.inputs.size() != 8 ||
        settings.inputs.find_first_not_of("01") != std::string::npos) {
        return "[MQTT] INPUTS: potrzeba ośmiu znaków 0 lub 1 (wejścia 1 do 8)";
    }
    return {};
}

std::string CommandsProblem(const MqttSettings& s) {
    if (!s.commands || s.commandsInsecure) {
        return {};
    }
    // Whoever may publish on the command topic switches the plant's alarms.
    if (!s.tls) {
        return "[MQTT] COMMANDS: polecenia alarmów odrzucone: połączenie z brokerem bez "
               "szyfrowania TLS (TLS=0); ustaw TLS=1 albo świadomie COMMANDS_INSECURE=1";
    }
    if (s.username.empty()) {
        return "[MQTT] COMMANDS: polecenia alarmów odrzucone: brak nazwy użytkownika brokera "
               "(USERNAME); ustaw USERNAME albo świadomie COMMANDS_INSECURE=1";
    }
    return {};
}

std::string PasswordFileWarning(const std::filesystem::path& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0077) == 0) {
        return {};
    }
    return "plik z hasłem " + path.string() + " mogą czytać inni użytkownicy (chmod 600)";
}

PasswordFileError ReadPasswordFile(const std::filesystem::path& path, std::string& password) {
    password.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return PasswordFileError::Missing;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return PasswordFileError::NotRegularFile;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        return PasswordFileError::Unreadable;
    }
    if (size > kMaxPasswordFile) {
        return PasswordFileError::TooLarge;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return PasswordFileError::Unreadable;
    }
    std::string content(kMaxPasswordFile + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > kMaxPasswordFile) {
        return PasswordFileError::TooLarge;  // grew while being read
    }
    password = content.substr(0, content.find_first_of("\r\n"));
    return PasswordFileError::None;
}
