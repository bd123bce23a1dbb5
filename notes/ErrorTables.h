// The names of the standard numeric error and status codes a modem reports: mobile
// equipment errors (+CME ERROR), message service errors (+CMS ERROR), the status of a
// delivered message (an SMS status report) and the network registration status.
#pragma once

#include <string>

namespace orvane::notes {

// The name of +CME ERROR |code|; for a number the standard leaves unnamed, what its
// range is ("reserved", "manufacturer-specific").
std::string CmeErrorName(long code);
// The name of +CMS ERROR |code|, including the network's causes (0-127) and the
// service centre's failure causes (128-255) that modems pass on.
std::string CmsErrorName(long code);
// The meaning of a status report's status octet.
std::string DeliveryStatusName(int status);
// The registration status of +CREG, +CGREG, +CEREG and +C5GREG in words.
std::string RegistrationStatusName(long status);

}  // namespace orvane::notes
