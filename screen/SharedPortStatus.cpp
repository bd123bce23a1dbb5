#include "screen/SharedPortStatus.h"

SharedPortStatus DescribeSharedPort(int clients, const QString& warning) {
  SharedPortStatus status;
  status.text = QStringLiteral("Shared (%1)").arg(clients);
  status.tip = clients == 1
                   ? QStringLiteral("Shared through its port service (orvane-portd); no other client is attached.")
                   : QStringLiteral(
                         "Shared through its port service (orvane-portd): %1 clients are attached. "
                         "Each gets the replies to its own commands; what the device says by itself "
                         "goes to all.")
                         .arg(clients);
  if (!warning.isEmpty()) status.tip += QStringLiteral("\nNote: ") + warning + QLatin1Char('.');
  return status;
}
