#include "publish/MqttCheck.h"

#include <poll.h>

#include "publish/MqttSession.h"

MqttCheckResult CheckMqttConnection(const MqttSettings& settings,
                                    const std::filesystem::path& settingsFolder,
                                    std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    MqttCheckResult result;
    std::string password;
    if (!settings.passwordFile.empty() &&
        ReadPasswordFile(settings.passwordFile, password) != PasswordFileError::None) {
        result.failure = MqttFailure::PasswordFile;
        result.detail = settings.passwordFile;
        return result;
    }
    MqttSession session(EffectiveClientId(settings, settingsFolder) + "-check", true, {});
    result.failure = session.Begin(settings, password, std::nullopt, result.detail);
    std::fill(password.begin(), password.end(), '\0');
    const auto deadline = Clock::now() + timeout;
    while (result.failure == MqttFailure::None && !session.IsConnected()) {
        const auto now = Clock::now();
        if (now >= deadline) {
            result.failure = MqttFailure::Timeout;
            break;
        }
        pollfd fd{session.Socket(),
                  static_cast<short>(POLLIN | (session.WantWrite() ? POLLOUT : 0)), 0};
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        poll(&fd, fd.fd >= 0 ? 1 : 0, static_cast<int>(std::min<long long>(wait, 1000)));
        result.failure = session.Service(fd.fd >= 0 ? fd.revents : short{0}, result.detail);
    }
    if (session.IsConnected()) {
        session.Disconnect();
        pollfd fd{session.Socket(), POLLOUT, 0};
        if (fd.fd >= 0 && session.WantWrite() && poll(&fd, 1, 200) > 0) {
            std::string ignored;
            session.Service(fd.revents, ignored);
        }
    }
    return result;
}
