#include "os/LocalTime.h"

std::tm LocalTimeOf(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}
