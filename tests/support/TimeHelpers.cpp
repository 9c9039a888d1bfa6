#include "TimeHelpers.h"

#include <date/date.h>
#include <date/tz.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

TimePoint Utc(int year, unsigned month, unsigned day, int hour, int minute, int second, int ms) {
    using namespace std::chrono;
    const date::sys_days days = date::year{year} / date::month{month} / date::day{day};
    return time_point_cast<Ticks>(days + hours{hour} + minutes{minute} + seconds{second} + milliseconds{ms});
}

TimePoint Local(const char* zone, int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    const date::local_days days{date::year{year} / date::month{month} / date::day{day}};
    const auto local = days + hours{hour} + minutes{minute} + seconds{second};
    return time_point_cast<Ticks>(date::locate_zone(zone)->to_sys(local));
}

std::string Describe(TimePoint time) {
    if (time == kNever) {
        return "never";
    }
    return date::format("%F %T UTC", std::chrono::time_point_cast<std::chrono::milliseconds>(time));
}

std::string DateCommand(const std::string& arguments) {
    const std::string command = "date " + arguments;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string output;
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) {
        output.append(buffer, n);
    }
    while (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

TimePoint DateCommandInstant(const std::string& wallClock) {
    const std::string seconds = DateCommand("-d '" + wallClock + "' +%s");
    return TimePointFromTicks(std::stoll(seconds) * kTicksPerSecond);
}
