// The main screen's own costs, each beside a baseline measured in the same run:
//   - one GUI send (Send pressed to row recorded, history saved) against a device that
//     answers at once, beside the same exchange run bare on a line with poll(): the
//     difference is what the screen and its event loop add to every send;
//   - appending the 10th and the 10 000th exchange to the response list, on its own
//     and on a shown screen with the repaint it causes;
//   - finding text only the last of 100 000 rows holds, and filtering those rows, beside
//     appending one row.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "engine/BinaryTextCodec.h"
#include "engine/Exchange.h"
#include "engine/SerialLine.h"
#include "platform/Registry.h"
#include "resources/OrvanePortIds.h"
#include "screen/COrvanePortView.h"
#include "screen/ResponseFilter.h"
#include "screen/ResponseListCtrl.h"
#include "tests/support/SimulatorThread.h"
#include "ui/Messages.h"

namespace {

using namespace orvane::port_ids;

// A device that answers at once: the modem simulator.
using QuickModem = orvane::testing::SimulatorThread;

void BM_BareLineExchange(benchmark::State& state) {
  QuickModem modem;
  orvane::SerialLine line;
  line.Open(std::u16string(modem.path().begin(), modem.path().end()), 115200);
  const orvane::Framing framing;  // unframed, the default tokens and timeout
  for (auto _ : state) {
    orvane::Exchange exchange(line, u"AT<0D>", framing);
    orvane::RunToEnd(exchange, line);
    benchmark::DoNotOptimize(exchange.Result().reply);
  }
}
BENCHMARK(BM_BareLineExchange)->Unit(benchmark::kMicrosecond);

void BM_GuiSend(benchmark::State& state) {
  const auto hive = orvane::reg::Hive::OpenMemory();  // the screen's settings
  QuickModem modem;
  ui::ScriptedUi script;
  COrvanePortView view(*hive);
  view.OnInitialUpdate();
  view.Control(IDC_PORT)->setEnabled(true);
  qobject_cast<QLineEdit*>(view.Control(IDC_PORT))
      ->setText(QString::fromStdString(modem.path()));
  view.OnOpenLine();
  qobject_cast<QLineEdit*>(view.Control(IDC_COMMAND))->setText("AT<0D>");
  auto* send = qobject_cast<QPushButton*>(view.Control(IDC_SEND));
  for (auto _ : state) {
    send->click();
    while (view.IsReading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  state.counters["rows"] = view.Responses().Count();
}
BENCHMARK(BM_GuiSend)->Unit(benchmark::kMicrosecond);

orvane::Bytes Ok() { return orvane::DecodeBinaryText(u"<0D><0A>OK<0D><0A>"); }

// Appending exchange number N (the list holds N - 1 rows before).
void BM_AppendExchange(benchmark::State& state) {
  const auto hive = orvane::reg::Hive::OpenMemory();  // the screen's settings
  ui::ScriptedUi script;
  const int n = static_cast<int>(state.range(0));
  COrvanePortView view(*hive);
  view.OnInitialUpdate();
  for (auto _ : state) {
    state.PauseTiming();
    script.answers = {ui::Answer::Yes};
    view.OnClearResponses();
    for (int i = 1; i < n; ++i) view.AddResponseEntry(Ok(), u"AT<0D>");
    state.ResumeTiming();
    view.AddResponseEntry(Ok(), u"AT<0D>");
  }
}
BENCHMARK(BM_AppendExchange)->Arg(10)->Arg(10000)->Iterations(30)->Unit(benchmark::kMicrosecond);

// The same on a screen that is shown, with the layout and repaint the new row causes:
// what a user waits for after each exchange.
void BM_AppendExchangeShown(benchmark::State& state) {
  const auto hive = orvane::reg::Hive::OpenMemory();  // the screen's settings
  ui::ScriptedUi script;
  const int n = static_cast<int>(state.range(0));
  COrvanePortView view(*hive);
  view.OnInitialUpdate();
  view.show();
  QApplication::processEvents();
  for (auto _ : state) {
    state.PauseTiming();
    script.answers = {ui::Answer::Yes};
    view.OnClearResponses();
    for (int i = 1; i < n; ++i) view.AddResponseEntry(Ok(), u"AT<0D>");
    QApplication::processEvents();
    state.ResumeTiming();
    view.AddResponseEntry(Ok(), u"AT<0D>");
    QApplication::processEvents();
  }
}
BENCHMARK(BM_AppendExchangeShown)->Arg(10)->Arg(10000)->Iterations(30)->Unit(benchmark::kMicrosecond);

// A screen holding N rows of a typical reply, the last one holding "needle".
std::unique_ptr<COrvanePortView> ScreenWithRows(orvane::reg::Hive& hive, int n) {
  auto view = std::make_unique<COrvanePortView>(hive);
  view->OnInitialUpdate();
  const orvane::Bytes reply = orvane::DecodeBinaryText(u"<0D><0A>+CSQ: 20,99<0D><0A><0D><0A>OK<0D><0A>");
  for (int i = 1; i < n; ++i) view->AddResponseEntry(reply, u"AT+CSQ<0D>");
  view->AddResponseEntry(orvane::DecodeBinaryText(u"<0D><0A>needle<0D><0A>OK<0D><0A>"), u"AT+CSQ<0D>");
  return view;
}

// One search through every row (either case).
void BM_FindInRows(benchmark::State& state) {
  const auto hive = orvane::reg::Hive::OpenMemory();
  ui::ScriptedUi script;
  const auto view = ScreenWithRows(*hive, static_cast<int>(state.range(0)));
  const ResponseFilter* shown = view->ResponseList()->Filter();
  const orvane::RowNeedle needle(u"NEEDLE", false);
  for (auto _ : state) {
    bool wrapped = false;
    benchmark::DoNotOptimize(shown->Find(needle, -1, true, &wrapped));
  }
}
BENCHMARK(BM_FindInRows)->Arg(100000)->Unit(benchmark::kMillisecond);

// A filter turned on and off again.
void BM_FilterRows(benchmark::State& state) {
  const auto hive = orvane::reg::Hive::OpenMemory();
  ui::ScriptedUi script;
  const auto view = ScreenWithRows(*hive, static_cast<int>(state.range(0)));
  ResponseFilter* shown = view->ResponseList()->Filter();
  orvane::RowFilter troubled;
  troubled.onlyTroubled = true;
  for (auto _ : state) {
    shown->SetRowFilter(troubled);
    shown->SetRowFilter({});
  }
}
BENCHMARK(BM_FilterRows)->Arg(100000)->Unit(benchmark::kMillisecond);

// Appending the 100 000th row with the filter on, beside the filtering above.
void BM_AppendFiltered(benchmark::State& state) {
  const auto hive = orvane::reg::Hive::OpenMemory();
  ui::ScriptedUi script;
  const auto view = ScreenWithRows(*hive, static_cast<int>(state.range(0)));
  orvane::RowFilter unsolicited;
  unsolicited.hideUnsolicited = true;
  view->ResponseList()->Filter()->SetRowFilter(unsolicited);
  const orvane::Bytes reply = Ok();
  for (auto _ : state) view->AddResponseEntry(reply, u"AT<0D>");
}
BENCHMARK(BM_AppendFiltered)->Arg(100000)->Iterations(30)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
