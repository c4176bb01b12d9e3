#include "recorder/RecorderPublisher.h"

#include "recorder/RecorderLog.h"

struct CRecorderPublisher::Impl {};

bool CRecorderPublisher::Available() {
    return false;
}

std::string CRecorderPublisher::SettingsProblem(const MqttSettings&) {
    return {};  // nothing is published, so nothing of the section is used
}

CRecorderPublisher::CRecorderPublisher(COrvexDriver&) : impl(std::make_unique<Impl>()) {}

CRecorderPublisher::~CRecorderPublisher() = default;

void CRecorderPublisher::Start(const MqttSettings& settings, const std::filesystem::path&) {
    if (settings.enabled) {
        LogLine(LogLevel::Warning,
                "[MQTT] ENABLED=1 is ignored: this orvex-recorder is built without MQTT "
                "publishing; recording goes on");
    }
}

void CRecorderPublisher::Stop() {}
