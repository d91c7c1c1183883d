#include "ui/qt/window_options.h"

#include <optional>

#include "app/station_records.h"

namespace korvane {

WindowOptions ParseWindowOptions(const QStringList& arguments, const QProcessEnvironment& environment) {
    WindowOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (option == QLatin1String("--autostart")) {
            options.autostart = true;
        } else if (option == QLatin1String("--config-dir") && hasValue) {
            options.configDir = arguments[++i].toStdString();
        } else if (option == QLatin1String("--report") && hasValue && !arguments[i + 1].isEmpty()) {
            options.reportFile = arguments[++i].toStdString();
        } else if (option == QLatin1String("--log-dir") && hasValue && !arguments[i + 1].isEmpty()) {
            options.logDir = arguments[++i].toStdString();
        } else if (option == QLatin1String("--records") && hasValue && !arguments[i + 1].isEmpty()) {
            options.records = arguments[++i].toStdString();
        } else if (option == QLatin1String("--station") && hasValue && !arguments[i + 1].isEmpty()) {
            options.station = arguments[++i].toStdString();
        } else if (option == QLatin1String("--screenshot") && hasValue) {
            options.screenshotFile = arguments[++i];
        } else if (option == QLatin1String("--after") && hasValue) {
            bool ok = false;
            const int ms = arguments[++i].toInt(&ok);
            if (!ok || ms < 0) {
                options.error = "--after needs a number of milliseconds";
                return options;
            }
            options.screenshotAfterMs = ms;
        } else {
            options.error = "unknown or incomplete option: " + option.toStdString();
            return options;
        }
    }
    if (options.reportFile.empty()) {
        options.reportFile = environment.value(QStringLiteral("KORVANE_REPORT")).toStdString();
    }
    if (options.logDir.empty()) {
        options.logDir = environment.value(QStringLiteral("KORVANE_LOG_DIR")).toStdString();
    }
    const auto variable = [&environment](const char* name) -> std::optional<std::string> {
        return environment.contains(QLatin1String(name))
                   ? std::optional<std::string>(environment.value(QLatin1String(name)).toStdString())
                   : std::nullopt;
    };
    const std::optional<std::string> records = variable(kRecordsVariable), station = variable(kStationVariable);
    const RecordsSettings settings = ResolveRecordsSettings({options.records, options.station},
                                                           records ? records->c_str() : nullptr,
                                                           station ? station->c_str() : nullptr);
    options.records = settings.connection;
    options.station = settings.station;
    return options;
}

}  // namespace korvane
