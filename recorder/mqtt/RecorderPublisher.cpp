#include "recorder/RecorderPublisher.h"

#include "OrvexVersion.h"
#include "device/OrvexDriver.h"
#include "publish/AlarmService.h"
#include "publish/MqttPublisher.h"
#include "recorder/RecorderLog.h"

struct CRecorderPublisher::Impl {
    COrvexDriver& driver;
    // Hears every cycle itself: the loop's coalescing of cycles must not thin what is published.
    std::unique_ptr<MqttPublisher> publisher;
    // Reads the alarms and carries out the commands; set before the publisher starts.
    std::unique_ptr<AlarmService> alarms;
    int listener = 0;
};

bool CRecorderPublisher::Available() {
    return true;
}

std::string CRecorderPublisher::SettingsProblem(const MqttSettings& settings) {
    return settings.enabled ? MqttSettingsProblem(settings) : std::string();
}

CRecorderPublisher::CRecorderPublisher(COrvexDriver& driver)
    : impl(std::make_unique<Impl>(Impl{driver, nullptr, nullptr, 0})) {}

CRecorderPublisher::~CRecorderPublisher() {
    Stop();
}

void CRecorderPublisher::Start(const MqttSettings& settings,
                               const std::filesystem::path& stateFolder) {
    Stop();
    if (!settings.enabled) {
        return;
    }
    MqttPublisher::Options options;
    options.settings = settings;
    options.settingsFolder = stateFolder;
    options.swVersion = kOrvexVersion;
    options.onEvent = [](const MqttEvent& e) {
        const MqttReason reason{e.failure, e.detail, e.original};
        switch (e.type) {
            case MqttEvent::Type::Connected:
                LogLine(LogLevel::Info, "MQTT: połączono");
                break;
            case MqttEvent::Type::Disconnected:
            case MqttEvent::Type::Failed:
                LogLine(LogLevel::Warning, "MQTT: brak połączenia: " + MqttReasonLogText(reason));
                break;
            case MqttEvent::Type::Dropped:
                LogLine(LogLevel::Warning, "MQTT: najstarsze cykle odrzucone z kolejki, razem " +
                                               std::to_string(e.dropped) +
                                               " (licznik pliku kolejki)");
                break;
            case MqttEvent::Type::QueueNotOnDisk:
                LogLine(LogLevel::Warning, "MQTT: kolejka tylko w pamięci, nie w pliku " +
                                               e.detail +
                                               ": cykle czekające na broker przepadną przy awarii");
                break;
            case MqttEvent::Type::QueueWriteFailed:
                LogLine(LogLevel::Warning,
                        "MQTT: zapis kolejki nieudany: " + e.detail + "; cykle trzymane w pamięci");
                break;
            case MqttEvent::Type::PublishRefused:
                LogLine(LogLevel::Warning, "MQTT: broker odmówił publikacji w temacie " + e.detail +
                                               " [" + e.original + "]; cykle zostają w kolejce");
                break;
            case MqttEvent::Type::CommandsRefused:
                LogLine(LogLevel::Warning, "MQTT: " + e.detail + "; publikowanie trwa");
                break;
            case MqttEvent::Type::AlarmCommandAnswered:
                LogLine(LogLevel::Info, "MQTT: polecenie alarmów " + e.detail);
                break;
        }
    };
    if (!settings.passwordFile.empty()) {
        if (const std::string warning = PasswordFileWarning(settings.passwordFile);
            !warning.empty()) {
            LogLine(LogLevel::Warning, "MQTT: " + warning);
        }
    }
    Impl* owner = impl.get();
    // The publisher's thread starts after alarms is set and stops before it goes.
    options.onAlarmCommand = [owner](const AlarmCommand& command) {
        owner->alarms->Submit(command);
    };
    impl->publisher = std::make_unique<MqttPublisher>(std::move(options));
    impl->alarms =
        std::make_unique<AlarmService>(impl->driver, *impl->publisher, AlarmService::Options{});
    impl->publisher->Start();
    impl->alarms->Start();
    MqttPublisher* target = impl->publisher.get();
    impl->listener = impl->driver.AddCycleListener(
        [target](const PollingCycle& cycle) { target->OnCycle(cycle); });
    LogLine(LogLevel::Info, "publishing to " + settings.host + ":" +
                                std::to_string(settings.EffectivePort()) + " under " +
                                settings.topicPrefix + "/");
}

void CRecorderPublisher::Stop() {
    if (impl->publisher) {
        impl->driver.RemoveCycleListener(impl->listener);
        impl->alarms->Stop();
        impl->publisher->Stop();  // "offline", within a second whatever the broker does
        impl->alarms.reset();
        impl->publisher.reset();
        impl->listener = 0;
    }
}
