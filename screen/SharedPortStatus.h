// What the status says while the open port is shared through its port service
// (orvane-portd): short enough for the status field, the details in its tooltip.
#pragma once

#include <QString>

struct SharedPortStatus {
  QString text;  // "Shared (3)"
  QString tip;
};

// |warning|: the service holds the port with other settings than asked for (the tip
// ends with it).
SharedPortStatus DescribeSharedPort(int clients, const QString& warning = {});
