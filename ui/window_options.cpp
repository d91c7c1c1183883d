#include "ui/window_options.h"

#include <charconv>

#include "app/console_options.h"
#include "app/station_records.h"

namespace korvane {

namespace {

// A whole number of at least `least` for an option's value.
bool ParseNumber(const std::string& text, int least, int& value) {
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < least || parsed > 1000000000) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace

WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments,
                                 const std::function<std::string(const char* name)>& environment) {
    WindowOptions options;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const bool hasText = hasValue && !arguments[i + 1].empty();
        if (option == "--autostart") {
            options.autostart = true;
        } else if (option == "--config-dir" && hasValue) {
            options.configDir = arguments[++i];
        } else if (option == "--report" && hasText) {
            options.reportFile = arguments[++i];
        } else if (option == "--log-dir" && hasText) {
            options.logDir = arguments[++i];
        } else if (option == "--records" && hasText) {
            options.records = arguments[++i];
        } else if (option == "--station" && hasText) {
            options.station = arguments[++i];
        } else if (option == "--screenshot" && hasValue) {
            options.screenshotFile = arguments[++i];
        } else if (option == "--count" || option == "--timeout") {
            int& value = option == "--count" ? options.count : options.timeoutSeconds;
            if (!hasValue || !ParseNumber(arguments[i + 1], 1, value)) {
                options.error = option + " needs a whole number of at least 1";
                return options;
            }
            ++i;
        } else if (option == "--after") {
            if (!hasValue || !ParseNumber(arguments[i + 1], 0, options.screenshotAfterMs)) {
                options.error = "--after needs a number of milliseconds";
                return options;
            }
            ++i;
        } else {
            options.error = "unknown or incomplete option: " + option;
            return options;
        }
    }
    if (options.reportFile.empty()) {
        options.reportFile = environment("KORVANE_REPORT");
    }
    if (options.logDir.empty()) {
        options.logDir = environment(kLogDirVariable);
    }
    const std::string records = environment(kRecordsVariable);
    const std::string station = environment(kStationVariable);
    const RecordsSettings settings = ResolveRecordsSettings({options.records, options.station},
                                                           records.empty() ? nullptr : records.c_str(),
                                                           station.empty() ? nullptr : station.c_str());
    options.records = settings.connection;
    options.station = settings.station;
    return options;
}

}  // namespace korvane
