// KorvaneAppDownload --list-ports: every serial port present now, one per line, with what
// the tool knows of it and whether it would get a session; how an operator finds what to
// put in the [Match] section of ComPorts.ini.
// Thread safety: one call at a time.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "discovery/port_enum.h"
#include "discovery/port_match.h"

namespace korvane {

// One line of the listing, ending in '\n': the number, then name=value fields. Texts from
// the device are quoted with control characters shown as \xNN, so a descriptor cannot
// disturb the operator's terminal or split the line.
std::string PortListingLine(const PortInterface& port, const PortMatch& match);

// The lines of the ports in port-number order, a heading first.
std::string PortListing(std::vector<PortInterface> ports, const PortMatch& match);

// Lists the ports of the sources, numbered through the table in sources.tableDir and matched
// by its [Match] section; notes about the table go to err. Returns the exit status: 0.
int ListPorts(PortSources sources, std::FILE* out, std::FILE* err);

}  // namespace korvane
