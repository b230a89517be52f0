#include "LocalTime.h"

std::tm LocalTime(std::time_t moment) {
    std::tm local{};
    localtime_s(&local, &moment);  // the C runtime's argument order, not C11's
    return local;
}
