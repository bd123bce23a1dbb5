// CPU spent by the main screen on an open line that stays quiet, beside a blocking
// poll() on such a line over the same time in the same run. The screen reads the line
// between exchanges (for unsolicited data); while nothing arrives that must cost no
// more than waiting does.
//
//   quiet_line_cpu [SECONDS]     (10 by default)
//
// Prints the CPU time (user + system, getrusage) and the voluntary context switches
// (wake-ups) of each, the ratio, and the share of one core.
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "platform/Registry.h"
#include "resources/OrvanePortIds.h"
#include "screen/COrvanePortView.h"
#include "tests/support/PtyPair.h"
#include "ui/Messages.h"

namespace {

using namespace orvane::port_ids;

// A pseudo-terminal whose device side never says anything.
using QuietDevice = orvane::testing::PtyPair;

struct Usage {
  double cpuUs = 0;
  long wakeups = 0;
};

Usage Now() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return {u.ru_utime.tv_sec * 1e6 + u.ru_utime.tv_usec + u.ru_stime.tv_sec * 1e6 + u.ru_stime.tv_usec,
          u.ru_nvcsw};
}

Usage Since(const Usage& start) {
  const Usage end = Now();
  return {end.cpuUs - start.cpuUs, end.wakeups - start.wakeups};
}

}  // namespace

int main(int argc, char** argv) {
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const int seconds = argc > 1 ? atoi(argv[1]) : 10;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: quiet_line_cpu [SECONDS]\n");
    return 2;
  }
  QApplication app(argc, argv);
  const int ms = seconds * 1000;

  // Baseline: one blocking poll() on a quiet line for the whole time.
  Usage baseline;
  {
    QuietDevice device;
    const Usage start = Now();
    pollfd p{device.keeper(), POLLIN, 0};
    poll(&p, 1, ms);
    baseline = Since(start);
  }

  // The screen with the line open, in its event loop for the same time.
  Usage screen;
  {
    QuietDevice device;
    const auto hive = orvane::reg::Hive::OpenMemory();
    ui::ScriptedUi script;
    COrvanePortView view(*hive);
    view.OnInitialUpdate();
    view.Control(IDC_PORT)->setEnabled(true);
    qobject_cast<QLineEdit*>(view.Control(IDC_PORT))->setText(QString::fromStdString(device.path()));
    view.OnOpenLine();
    if (!view.OpenFlag() || !view.Session().IsOpen()) {
      std::fprintf(stderr, "quiet_line_cpu: the screen did not open the line\n");
      return 1;
    }
    QApplication::processEvents();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    const Usage start = Now();
    loop.exec();
    screen = Since(start);
    view.OnCloseLine();
  }

  const double coreUs = ms * 1000.0;
  std::printf("quiet line for %d s\n", seconds);
  std::printf("  blocking poll():  %8.0f us CPU  %4ld wake-ups  %.4f%% of a core\n", baseline.cpuUs,
              baseline.wakeups, 100.0 * baseline.cpuUs / coreUs);
  std::printf("  screen, line open: %7.0f us CPU  %4ld wake-ups  %.4f%% of a core\n", screen.cpuUs,
              screen.wakeups, 100.0 * screen.cpuUs / coreUs);
  // The baseline may round to nothing at the clock's resolution: count it as 1 us.
  std::printf("  ratio screen / poll(): %.1f\n", screen.cpuUs / (baseline.cpuUs > 1 ? baseline.cpuUs : 1));
  return 0;
}
