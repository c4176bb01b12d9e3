// A program that publishes one cycle and then waits to be killed: the broker's will is
// what the test looks at.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "publish/MqttPublisher.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s port folder serial\n", argv[0]);
        return 2;
    }
    MqttPublisher::Options options;
    options.settings.enabled = true;
    options.settings.host = "127.0.0.1";
    options.settings.port = std::atoi(argv[1]);
    options.settings.keepalive = 5;
    options.settingsFolder = argv[2];
    MqttPublisher publisher(options);
    publisher.Start();
    PollingCycle cycle;
    cycle.time = std::chrono::system_clock::now();
    cycle.responding = true;
    cycle.info.serialNumber = static_cast<uint16_t>(std::atoi(argv[3]));
    publisher.OnCycle(cycle);
    for (;;) {
        pause();
    }
}
