#include "screen/SequenceRun.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <vector>

#include "resources/OrvanePortIds.h"
#include "screen/SessionDriver.h"
#include "ui/Menus.h"
#include "ui/Messages.h"

using namespace orvane::port_ids;

namespace {

// A sequence file is small; one beyond this is taken for a mistake.
constexpr qint64 kMaxFileBytes = qint64{4} << 20;
constexpr int kRecentIds[] = {ID_RECENT_SEQUENCE_1, ID_RECENT_SEQUENCE_2, ID_RECENT_SEQUENCE_3,
                              ID_RECENT_SEQUENCE_4};
static_assert(std::size(kRecentIds) == orvane::RecentSequenceStore::kMaxFiles);

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

SequenceRun::SequenceRun(orvane::reg::Hive& hive, orvane::Session& session, SessionDriver& driver,
                         QWidget* owner)
    : recent_(hive), session_(session), driver_(driver), owner_(owner) {
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  connect(&deadline_, &QTimer::timeout, this, [this] { driver_.Step(); });
}

SequenceRun::~SequenceRun() = default;

void SequenceRun::Run(int recent, const orvane::Framing& framing) {
  if (Running()) return;
  if (recent < 0) {
    const std::optional<QString> path = ui::AskOpenFileName(
        owner_, {QStringLiteral("Run Sequence"),
                 {QStringLiteral("Sequences (*.seq *.at *.txt)"), QStringLiteral("All files (*)")},
                 QString()});
    if (path) Start(*path, framing);
    return;
  }
  const std::vector<std::u16string> files = recent_.Load();
  if (static_cast<size_t>(recent) < files.size()) Start(QString::fromStdU16String(files[recent]), framing);
}

void SequenceRun::Start(const QString& path, const orvane::Framing& framing) {
  name_ = QFileInfo(path).fileName();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ui::ShowMessage(owner_, QStringLiteral("The sequence %1 cannot be read: %2.").arg(path, file.errorString()));
    return;
  }
  if (file.size() > kMaxFileBytes) {
    ui::ShowMessage(owner_, QStringLiteral("The sequence %1 is too large to be one (more than 4 MiB).").arg(path));
    return;
  }
  const QByteArray text = file.readAll();
  std::vector<orvane::Step> steps;
  orvane::SequenceError error;
  if (!orvane::ParseSequence(std::string_view(text.constData(), static_cast<size_t>(text.size())), &steps, &error)) {
    ui::ShowMessage(owner_, QStringLiteral("Line %1 of %2: %3. Nothing was sent.")
                                .arg(error.line)
                                .arg(name_, Text(error.message)));
    return;
  }
  if (steps.empty()) {
    ui::ShowMessage(owner_, QStringLiteral("The sequence %1 has no steps.").arg(name_));
    return;
  }
  recent_.Add(path.toStdU16String());
  steps_ = steps.size();
  runner_ = std::make_unique<orvane::SequenceRunner>(session_, framing);
  runner_->onStepBegun = [this](const orvane::Step& step) {
    if (showStatus) showStatus(QStringLiteral("Step %1 of %2").arg(step.number).arg(steps_));
  };
  for (orvane::Step& step : steps) runner_->Add(std::move(step));
  runner_->Finish();
  Stepped();
}

void SequenceRun::Stepped() {
  if (!runner_ || advancing_) return;
  advancing_ = true;
  const size_t before = runner_->Progress();
  const orvane::SequenceState state = runner_->Advance();
  advancing_ = false;
  if (state != orvane::SequenceState::kRunning) {
    Finish(state);
    return;
  }
  const int ms = runner_->MsUntilDeadline();
  if (ms < 0) deadline_.stop();
  else deadline_.start(ms);
  // A step began: a command may have gone out, which the driver now waits on.
  if (runner_->Progress() != before) driver_.Step();
}

void SequenceRun::Stop() {
  if (!runner_) return;
  runner_->Stop();
  Finish(orvane::SequenceState::kStopped);
}

void SequenceRun::Finish(orvane::SequenceState state) {
  deadline_.stop();
  const std::unique_ptr<orvane::SequenceRunner> runner = std::move(runner_);
  const orvane::Step* at = runner->Current();
  QString status;
  QString message;
  if (state == orvane::SequenceState::kDone) {
    status = QStringLiteral("Sequence Done");
    message = QStringLiteral("The sequence %1 completed: %2 steps.").arg(name_).arg(steps_);
  } else if (state == orvane::SequenceState::kFailed) {
    const orvane::SequenceFailure& failure = runner->Failure();
    status = QStringLiteral("Line %1 Failed").arg(failure.line);
    message = QStringLiteral("The sequence failed.\n") + Text(orvane::DescribeFailure(name_.toStdString(), failure));
  } else {
    status = QStringLiteral("Sequence Stopped");
    message = at ? QStringLiteral("The sequence %1 was stopped at line %2 (step %3 of %4).")
                       .arg(name_)
                       .arg(at->line)
                       .arg(at->number)
                       .arg(steps_)
                 : QStringLiteral("The sequence %1 was stopped.").arg(name_);
  }
  if (showStatus) showStatus(status);
  if (ended) ended();
  // Shown once the driver's step that ended the run is over.
  QTimer::singleShot(0, owner_, [owner = owner_, message] { ui::ShowMessage(owner, message); });
}

void SequenceRun::UpdateMenu(QMenu* menu) const {
  if (!menu) return;
  const std::vector<std::u16string> files = recent_.Load();
  for (QAction* action : menu->actions()) {
    const int id = ui::CommandIdOf(action);
    for (size_t i = 0; i < std::size(kRecentIds); ++i) {
      if (id != kRecentIds[i]) continue;
      const bool shown = i < files.size();
      action->setVisible(shown);
      if (!shown) continue;
      const QString path = QString::fromStdU16String(files[i]);
      QString name = QFileInfo(path).fileName();
      action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(name.replace(u'&', QStringLiteral("&&"))));
      action->setStatusTip(path);
      action->setToolTip(path);
    }
  }
}
