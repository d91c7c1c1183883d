// Simulated terminals for the run-control and console tests: in their loader, with fault
// rules given as korvane-sim's --fault texts, published in the bench's folder of virtual
// ports and checking signatures with the bench's key pair.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/sim_terminal.h"
#include "tests/integration/sim_session.h"

namespace korvane::testing {

inline sim::TerminalSettings LoaderTerminal(const std::vector<std::string>& faultTexts = {}) {
    sim::TerminalSettings settings;
    settings.start_mode = sim::TerminalMode::kLoader;
    for (const std::string& text : faultTexts) {
        sim::FaultRule rule;
        std::string error;
        EXPECT_TRUE(sim::ParseFaultRule(text, rule, error)) << text << ": " << error;
        settings.faults.push_back(rule);
    }
    return settings;
}

inline std::unique_ptr<sim::SimTerminal> MakeTerminal(const SimBench& bench, int port,
                                                      sim::TerminalSettings settings = LoaderTerminal(),
                                                      const std::string& description = sim::kDefaultPortDescription) {
    sim::SimTerminalConfig config;
    config.port = port;
    config.ports_dir = bench.ports_dir;
    config.description = description;
    config.settings = std::move(settings);
    config.check = bench.check.get();
    return std::make_unique<sim::SimTerminal>(std::move(config));
}

}  // namespace korvane::testing
