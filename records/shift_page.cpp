#include "records/shift_page.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <vector>

#include "platform/text.h"

namespace korvane {

namespace {

// Distinct colours for the stations' lines, taken in turn.
constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                    "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};

constexpr int kChartWidth = 900;
constexpr int kChartHeight = 260;
constexpr int kLeft = 50;    // room for the axis labels
constexpr int kBottom = 70;  // room for the hour labels, written slanted
constexpr int kTop = 15;
constexpr int kRight = 50;

std::string Number(double value, int decimals = 1) {
    char text[48];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

std::string YieldChart(const ShiftReport& report) {
    std::set<std::string> hourSet(report.hourAxis.begin(), report.hourAxis.end());
    std::map<std::string, std::vector<const HourYield*>> byStation;
    for (const HourYield& h : report.hours) {
        hourSet.insert(h.hour);
        byStation[h.station].push_back(&h);
    }
    if (hourSet.empty()) {
        return "<p>No terminals finished in this window.</p>\n";
    }
    const std::vector<std::string> hours(hourSet.begin(), hourSet.end());
    const double plotWidth = kChartWidth - kLeft - kRight;
    const double plotHeight = kChartHeight - kTop - kBottom;
    const auto x = [&](size_t i) {
        return kLeft + (hours.size() == 1 ? plotWidth / 2 : plotWidth * static_cast<double>(i) /
                                                                static_cast<double>(hours.size() - 1));
    };
    const auto y = [&](double percent) { return kTop + plotHeight * (1 - percent / 100); };
    std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(kChartWidth) + " " +
                      std::to_string(kChartHeight) + "\" role=\"img\" aria-label=\"Yield per station per hour\">\n";
    for (const int percent : {0, 25, 50, 75, 100}) {
        const std::string py = Number(y(percent));
        svg += "<line x1=\"" + std::to_string(kLeft) + "\" x2=\"" + std::to_string(kChartWidth - kRight) +
               "\" y1=\"" + py + "\" y2=\"" + py + "\" class=\"grid\"/><text x=\"" + std::to_string(kLeft - 6) +
               "\" y=\"" + py + "\" class=\"ylabel\">" + std::to_string(percent) + "%</text>\n";
    }
    // At most about 24 labels, so that they never overlap.
    const size_t labelEvery = (hours.size() + 23) / 24;
    for (size_t i = 0; i < hours.size(); i += labelEvery) {
        const std::string px = Number(x(i)), py = std::to_string(kChartHeight - kBottom + 12);
        svg += "<text x=\"" + px + "\" y=\"" + py + "\" class=\"xlabel\" transform=\"rotate(-35 " + px + " " + py +
               ")\">" + HtmlText(hours[i].substr(5)) + "</text>\n";
    }
    size_t colour = 0;
    std::string legend = "<p class=\"legend\">";
    for (const auto& [station, points] : byStation) {
        const char* stroke = kColours[colour++ % std::size(kColours)];
        std::string line, marks;
        for (const HourYield* h : points) {
            const size_t i = static_cast<size_t>(std::lower_bound(hours.begin(), hours.end(), h->hour) - hours.begin());
            const double percent = h->sessions == 0 ? 0 : 100.0 * static_cast<double>(h->passed) / static_cast<double>(h->sessions);
            line += Number(x(i)) + "," + Number(y(percent)) + " ";
            marks += "<circle cx=\"" + Number(x(i)) + "\" cy=\"" + Number(y(percent)) + "\" r=\"4\" fill=\"" + stroke +
                     "\"><title>" + HtmlText(station) + " " + HtmlText(h->hour) + ": " + Number(percent) + "% of " +
                     std::to_string(h->sessions) + "</title></circle>\n";
        }
        svg += "<polyline fill=\"none\" stroke-width=\"2\" stroke=\"" + std::string(stroke) + "\" points=\"" + line +
               "\"/>\n" + marks;
        legend += "<span><i style=\"background:" + std::string(stroke) + "\"></i>" + HtmlText(station) + "</span> ";
    }
    return svg + "</svg>\n" + legend + "</p>\n";
}

std::string ParetoChart(const ShiftReport& report) {
    if (report.pareto.empty()) {
        return "<p>No failures in this window.</p>\n";
    }
    int64_t total = 0;
    for (const MessageCount& m : report.pareto) {
        total += m.count;
    }
    const int64_t largest = report.pareto.front().count;
    constexpr int kBottomLabels = 120;
    const double plotWidth = kChartWidth - kLeft - kRight;
    const double plotHeight = kChartHeight + 60 - kTop - kBottomLabels;
    // A few messages make narrow bars, not one wide block.
    const double slot = std::min(plotWidth / static_cast<double>(report.pareto.size()), 90.0);
    std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(kChartWidth) + " " +
                      std::to_string(kChartHeight + 60) + "\" role=\"img\" aria-label=\"Failure messages\">\n";
    std::string cumulative;
    int64_t running = 0;
    for (size_t i = 0; i < report.pareto.size(); ++i) {
        const MessageCount& m = report.pareto[i];
        const double height = plotHeight * static_cast<double>(m.count) / static_cast<double>(largest);
        const double left = kLeft + slot * static_cast<double>(i);
        const double cx = left + slot / 2;
        svg += "<rect x=\"" + Number(left + slot * 0.1) + "\" y=\"" + Number(kTop + plotHeight - height) +
               "\" width=\"" + Number(slot * 0.8) + "\" height=\"" + Number(height) + "\" class=\"bar\"><title>" +
               HtmlText(m.message) + ": " + std::to_string(m.count) + "</title></rect>\n";
        svg += "<text x=\"" + Number(cx) + "\" y=\"" + Number(kTop + plotHeight - height - 4) +
               "\" class=\"count\">" + std::to_string(m.count) + "</text>\n";
        const std::string label = m.message.size() > 28 ? CutAtCharacter(m.message, 26) + "…" : m.message;
        const std::string ly = Number(kTop + plotHeight + 12);
        svg += "<text x=\"" + Number(cx) + "\" y=\"" + ly + "\" class=\"xlabel\" transform=\"rotate(-35 " + Number(cx) +
               " " + ly + ")\">" + HtmlText(label) + "</text>\n";
        running += m.count;
        cumulative += Number(cx) + "," +
                      Number(kTop + plotHeight * (1 - static_cast<double>(running) / static_cast<double>(total))) + " ";
    }
    svg += "<polyline fill=\"none\" class=\"cumulative\" points=\"" + cumulative + "\"/>\n";
    // The running share ends at 100 % over the last bar.
    const double lastX = kLeft + slot * (static_cast<double>(report.pareto.size()) - 0.5);
    svg += "<text x=\"" + Number(lastX + 22) + "\" y=\"" + std::to_string(kTop + 4) + "\" class=\"count\">100%</text>\n";
    return svg + "</svg>\n<p class=\"legend\">Bars: failed sessions per message, most frequent first; line: their "
                 "running share of all " + std::to_string(total) + " failures shown.</p>\n";
}

std::string StationTable(const ShiftReport& report) {
    std::string html = "<table><tr><th>Station</th><th>Units</th><th>Passed</th><th>Failed</th><th>Yield</th>"
                       "<th>Median time</th><th>Most frequent failures</th></tr>\n";
    for (const StationSummary& s : report.stations) {
        std::string top;
        for (const MessageCount& m : s.topFailures) {
            top += (top.empty() ? "" : "<br>") + HtmlText(m.message) + " (" + std::to_string(m.count) + ")";
        }
        html += "<tr><td>" + HtmlText(s.station) + "</td><td class=\"n\">" + std::to_string(s.units) +
                "</td><td class=\"n\">" + std::to_string(s.passed) + "</td><td class=\"n\">" +
                std::to_string(s.failed) + "</td><td class=\"n\">" + Number(s.Yield()) + "%</td><td class=\"n\">" +
                Number(s.medianSeconds) + " s</td><td>" + top + "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string FailedTable(const ShiftReport& report) {
    if (report.failed.empty()) {
        return "<p>No failed units.</p>\n";
    }
    std::string html = "<table><tr><th>Station</th><th>Finished</th><th>TUSN</th><th>Message</th><th>Command</th>"
                       "<th>Log</th></tr>\n";
    for (const FailedUnit& f : report.failed) {
        html += "<tr><td>" + HtmlText(f.station) + "</td><td>" + HtmlText(f.finishedAt) + "</td><td>" +
                HtmlText(f.tusn) + "</td><td>" + HtmlText(f.message) + "</td><td class=\"n\">" + HtmlText(f.command) +
                "</td><td>" +
                (f.logText.empty() ? std::string("—")
                                   : "<details><summary>log</summary><pre>" + HtmlText(f.logText) + "</pre></details>") +
                "</td></tr>\n";
    }
    html += "</table>\n";
    if (report.failedNotShown > 0) {
        html += "<p>" + std::to_string(report.failedNotShown) + " older failed units are not shown.</p>\n";
    }
    return html;
}

}  // namespace

std::string HtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string ShiftPage(const ShiftReport& report, const std::string& title, const std::string& generatedAt) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
           "<title>Terminal results: " +
           HtmlText(title) +
           "</title>\n<style>\n"
           "body{font-family:sans-serif;margin:1.5em;color:#222;max-width:1100px}\n"
           "h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}\n"
           "table{border-collapse:collapse;width:100%}th,td{border:1px solid #ccc;padding:4px 8px;text-align:left;"
           "vertical-align:top}th{background:#f0f0f0}td.n{text-align:right}\n"
           ".chart{width:100%;height:auto}.grid{stroke:#ddd}.ylabel{font-size:11px;text-anchor:end;"
           "dominant-baseline:middle}.xlabel{font-size:11px;text-anchor:end}.count{font-size:11px;text-anchor:middle}\n"
           ".bar{fill:#d62728}.cumulative{stroke:#333;stroke-width:2;stroke-dasharray:4 3}\n"
           ".legend span{margin-right:1em}.legend i{display:inline-block;width:12px;height:12px;margin-right:4px}\n"
           "pre{max-height:30em;overflow:auto;background:#f8f8f8;padding:6px;font-size:12px}\n"
           "</style></head><body>\n<h1>Terminal results: " +
           HtmlText(title) + "</h1>\n<p>Made " + HtmlText(generatedAt) + ".</p>\n<h2>Stations</h2>\n" +
           StationTable(report) + "<h2>Yield per station per hour</h2>\n" + YieldChart(report) +
           "<h2>Failure messages</h2>\n" + ParetoChart(report) + "<h2>Failed units</h2>\n" + FailedTable(report) +
           "</body></html>\n";
}

}  // namespace korvane
