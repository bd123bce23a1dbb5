// The active communication devices, read from the driver table Drivers\Active of a
// hive. Pure lookup: no state between calls, nothing else opened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvane {

namespace reg {
class Hive;
}

struct PortListing {
  std::u16string displayName;  // shown in the modem list
  std::u16string deviceName;   // the name the line is opened by, exactly as the table holds it
};

// At most |capacity| devices of |hive|'s table, in the table's order; the table is read
// only until that many are found. Never fails as a whole: every problem only shortens the
// list.
std::vector<PortListing> ListActivePorts(reg::Hive& hive, size_t capacity);

}  // namespace orvane
