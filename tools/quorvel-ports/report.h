// The listing: every serial port as the dashboard lists it, what is behind it, and why
// it may not work, with what to do.
#pragma once

#include "platform/portinfo.h"

#include <ostream>
#include <string>
#include <vector>

namespace ports {

// Whether the dashboard can use the port: listed, open to this user, held by no other
// program, and its chip can run near 7680 baud.
bool Usable(const portinfo::Port& p);
// Nothing stands in the way but a chip whose rate is not known (a CP210x whose part is
// not named, a microcontroller's firmware): only the probe tells.
bool Doubtful(const portinfo::Port& p);

// Writes the listing, its advice to probe a port given as command (how the user runs
// quorvel-ports where they read it); returns how many ports the dashboard can use.
int WriteListing(std::ostream& out, const std::vector<portinfo::Port>& ports,
                 const std::vector<portinfo::Finding>& findings,
                 const std::string& command = "quorvel-ports");

} // namespace ports
