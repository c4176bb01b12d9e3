#include "publish/MqttCheck.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "publish/MqttPublisher.h"
#include "publish/MqttSession.h"

namespace {

using Clock = std::chrono::steady_clock;

MqttReason Attempt(const MqttSettings& settings, const std::string& clientId,
                   const std::string& password, bool mqtt5, Clock::time_point deadline) {
    MqttReason reason;
    MqttSession session(clientId, true, {}, mqtt5);
    session.Begin(settings, password, std::nullopt, reason);
    while (reason.failure == MqttFailure::None && !session.IsConnected()) {
        const auto now = Clock::now();
        if (now >= deadline) {
            reason.failure = MqttFailure::Timeout;
            break;
        }
        pollfd fd{session.Socket(),
                  static_cast<short>(POLLIN | (session.WantWrite() ? POLLOUT : 0)), 0};
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        poll(&fd, fd.fd >= 0 ? 1 : 0, static_cast<int>(std::min<long long>(wait, 1000)));
        session.Service(fd.fd >= 0 ? fd.revents : short{0}, reason);
    }
    if (session.IsConnected()) {
        session.Disconnect();
        pollfd fd{session.Socket(), POLLOUT, 0};
        if (fd.fd >= 0 && session.WantWrite() && poll(&fd, 1, 200) > 0) {
            MqttReason ignored;
            session.Service(fd.revents, ignored);
        }
    }
    return reason;
}

}  // namespace

MqttCheckResult CheckMqttConnection(const MqttSettings& settings,
                                    const std::filesystem::path& settingsFolder,
                                    std::chrono::milliseconds timeout) {
    MqttCheckResult result;
    if (std::string problem = MqttSettingsProblem(settings); !problem.empty()) {
        result.failure = MqttFailure::Settings;
        result.detail = std::move(problem);
        return result;
    }
    std::string password;
    if (!settings.passwordFile.empty() &&
        ReadPasswordFile(settings.passwordFile, password) != PasswordFileError::None) {
        result.failure = MqttFailure::PasswordFile;
        result.detail = settings.passwordFile;
        return result;
    }
    if (!settings.passwordFile.empty()) {
        if (std::string warning = PasswordFileWarning(settings.passwordFile); !warning.empty()) {
            result.warnings.push_back(std::move(warning));
        }
    }
    if (std::string problem = CommandsProblem(settings); !problem.empty()) {
        result.warnings.push_back(std::move(problem));
    }
    if (std::string problem = QueueFileProblem(settingsFolder); !problem.empty()) {
        result.warnings.push_back(std::move(problem));
    }
    const std::string clientId = EffectiveClientId(settings, settingsFolder) + "-check";
    const auto deadline = Clock::now() + timeout;
    MqttReason reason = Attempt(settings, clientId, password, true, deadline);
    if (reason.failure == MqttFailure::ProtocolVersion) {
        reason = Attempt(settings, clientId, password, false, deadline);
    }
    std::fill(password.begin(), password.end(), '\0');
    result.failure = reason.failure;
    result.detail = std::move(reason.detail);
    result.original = std::move(reason.original);
    return result;
}

std::string QueueFileProblem(const std::filesystem::path& settingsFolder) {
    const std::filesystem::path path = settingsFolder / MqttPublisher::kQueueFile;
    int error = 0;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            error = ELOOP;
        } else if (!S_ISREG(st.st_mode)) {
            error = EISDIR;
        } else if (access(path.c_str(), R_OK | W_OK) != 0) {
            error = errno;
        }
    } else if (errno != ENOENT) {
        error = errno;
    } else if (access(settingsFolder.c_str(), W_OK | X_OK) != 0) {
        error = errno;
    }
    if (error == 0) {
        return {};
    }
    return "kolejka MQTT nie może być zapisywana w pliku " + path.string() + " (" +
           FileErrorText(error) + "): cykle czekające na broker przepadną przy awarii programu";
}
