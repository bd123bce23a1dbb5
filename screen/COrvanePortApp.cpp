#include "screen/COrvanePortApp.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "engine/SerialLine.h"

#include "platform/DeviceTable.h"
#include "preferences/WindowPlacementStore.h"
#include "platform/Registry.h"
#include "entry/BinaryCtrl.h"
#include "resources/OrvanePortIds.h"
#include "screen/CAboutBox.h"
#include "screen/CMainFrame.h"
#include "screen/COrvanePortView.h"
#include "ui/Messages.h"
#include "ui/Zoom.h"

#include <QGuiApplication>
#include <QScreen>

using namespace orvane::port_ids;

namespace {

using orvane::reg::Hive;
using orvane::reg::ScopedKey;

constexpr char16_t kRecentFileKey[] = u"Recent File List";

bool NamesADevice(const QString& argument) {
  if (argument.contains(QLatin1String("://")) || argument.startsWith(QLatin1String("/dev/"))) return true;
  struct stat st {};
  return ::stat(QFile::encodeName(argument).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

bool ParseStartArguments(const QStringList& arguments, StartArguments* start, QString* problem) {
  *start = {};
  if (arguments.size() > 2) {
    *problem = QStringLiteral("too many arguments (%1); the usage is OrvanePort [DEVICE [BAUD]]")
                   .arg(arguments.size());
    return false;
  }
  if (arguments.isEmpty()) return true;
  if (arguments.size() == 1 && !NamesADevice(arguments[0])) {
    start->file = arguments[0];
    return true;
  }
  start->device = arguments[0];
  if (arguments.size() == 2) {
    bool number = false;
    const qulonglong baud = arguments[1].toULongLong(&number);
    if (!number || baud == 0 || baud > 0xFFFFFFFFull) {
      *problem = QStringLiteral("the baud rate \"%1\" is not a whole number of bits per second (such as 115200)")
                     .arg(arguments[1]);
      return false;
    }
    start->baud = QString::number(baud);
  }
  return true;
}

COrvanePortApp::COrvanePortApp() : ownHive_(Hive::OpenHandheld(&hiveProblem_)), hive_(*ownHive_) {
  if (!hiveProblem_.empty()) hiveProblem_ = Hive::DefaultHandheldPath() + ": " + hiveProblem_;
}

COrvanePortApp::COrvanePortApp(Hive& hive) : hive_(hive) {}

COrvanePortApp::~COrvanePortApp() = default;

void COrvanePortApp::SetRegistryKey(const std::u16string& key) { registryKey_ = key; }

std::u16string COrvanePortApp::ProfileKeyPath() const {
  return u"Software\\" + registryKey_ + u"\\OrvanePort";
}

void COrvanePortApp::LoadStdProfileSettings(int recentFiles) {
  recentCapacity_ = recentFiles;
  recentFiles_.clear();
  if (registryKey_.empty()) return;
  Hive& hive = hive_;
  ScopedKey key(hive, orvane::reg::kLocalMachine, ProfileKeyPath() + u"\\" + kRecentFileKey);
  if (!key.ok()) return;
  for (int i = 1; i <= recentFiles; ++i) {
    std::u16string path;
    const std::string name = "File" + std::to_string(i);
    if (hive.QueryString(key.get(), std::u16string(name.begin(), name.end()), &path) ==
            orvane::reg::kSuccess &&
        !path.empty())
      recentFiles_ << QString::fromStdU16String(path);
  }
}

void COrvanePortApp::SaveStdProfileSettings() const {
  if (registryKey_.empty() || recentCapacity_ <= 0) return;
  Hive& hive = hive_;
  Hive::Transaction transaction(hive);
  ScopedKey key(hive, orvane::reg::kLocalMachine, ProfileKeyPath() + u"\\" + kRecentFileKey);
  if (!key.ok()) return;
  for (int i = 1; i <= recentCapacity_; ++i) {
    const std::string name = "File" + std::to_string(i);
    const std::u16string valueName(name.begin(), name.end());
    if (i <= recentFiles_.size())
      hive.SetString(key.get(), valueName, recentFiles_[i - 1].toStdU16String());
    else
      hive.DeleteValue(key.get(), valueName);
  }
  transaction.Commit();
}

bool COrvanePortApp::InitInstance(const QStringList& arguments) {
  SetRegistryKey(u"Local AppWizard-Generated Applications");
  LoadStdProfileSettings(kRecentFiles);

  // Processing the command line: none gives a new, empty document; a file is opened as
  // the (empty) document; a device is chosen on the screen. Anything else fails start-up.
  StartArguments start;
  QString problem;
  if (!ParseStartArguments(arguments.mid(1), &start, &problem)) return false;
  if (!OpenDocumentFile(start.file)) return false;
  if (!start.device.isEmpty()) view_->ChooseStartPort(start.device, start.baud);

  frame_->show();
  frame_->raise();
  if (!hiveProblem_.empty()) {
    const bool readable = hive_.GetAccess() == orvane::reg::Access::kReadOnly;
    ui::ShowMessage(frame_.get(),
                    QStringLiteral("Settings cannot be %1: %2.")
                        .arg(readable ? QStringLiteral("saved") : QStringLiteral("read or saved"),
                             QString::fromStdString(hiveProblem_)));
  }
  // The binary editor's class, before any dialog that holds the control can open.
  RegisterBinaryCtrlClass();
  return true;
}

bool COrvanePortApp::CreateFrameAndView() {
  if (frame_) return true;
  // The zoom the window had last time, before anything is drawn.
  orvane::WindowPlacement placement;
  const bool placed = orvane::WindowPlacementStore(hive_).Load(&placement);
  if (placed) ui::SetZoomPercent(placement.zoomPercent);
  frame_ = std::make_unique<CMainFrame>();
  if (!frame_->Create()) return false;
  frame_->applicationCommands = [this](int id) { return OnCommand(id); };
  // The driver table is brought up to date before the screen lists the devices.
  orvane::RefreshDriverTable(hive_);
  view_ = new COrvanePortView(hive_, frame_.get());
  frame_->SetView(view_);
  view_->OnInitialUpdate();
  // The program's own hive is where the simulator and orvane-reg list devices and remote
  // ports: the list follows its changes as well as plugging.
  if (ownHive_) view_->FollowDevices(Hive::DefaultHandheldPath());
  if (placed) RestorePlacement(placement);
  return true;
}

void COrvanePortApp::RestorePlacement(const orvane::WindowPlacement& placement) {
  // Never smaller than the screen needs, and only at a place that is on a screen now.
  frame_->resize(QSize(placement.width, placement.height).expandedTo(frame_->minimumSizeHint()));
  const QRect wanted(QPoint(placement.x, placement.y), frame_->size());
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(wanted)) {
      frame_->move(wanted.topLeft());
      break;
    }
  }
}

bool COrvanePortApp::SavePlacement() const {
  if (!frame_) return false;
  // A maximised or full-screen window keeps the place and size it will get back.
  const bool spread = frame_->isMaximized() || frame_->isFullScreen();
  const QRect normal = spread ? frame_->normalGeometry() : frame_->geometry();
  const QPoint place = spread ? normal.topLeft() : frame_->pos();
  orvane::WindowPlacement placement;
  placement.x = place.x();
  placement.y = place.y();
  placement.width = normal.width();
  placement.height = normal.height();
  placement.zoomPercent = ui::ZoomPercent();
  return orvane::WindowPlacementStore(hive_).Save(placement);
}

bool COrvanePortApp::OpenDocumentFile(const QString& path) {
  if (!doc_) doc_ = std::make_unique<COrvanePortDoc>();
  if (!CreateFrameAndView()) return false;
  if (path.isEmpty()) return doc_->OnNewDocument();
  if (!doc_->OnOpenDocument(path)) return false;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  recentFiles_.removeAll(absolute);
  recentFiles_.prepend(absolute);
  while (recentFiles_.size() > recentCapacity_) recentFiles_.removeLast();
  return true;
}

bool COrvanePortApp::OnCommand(int id) {
  switch (id) {
    case ID_APP_ABOUT:
      OnAppAbout();
      return true;
    case ID_FILE_NEW:
      // The same frame and screen; the empty document has nothing to reset.
      return doc_ && doc_->OnNewDocument();
    default:
      return false;
  }
}

void COrvanePortApp::OnAppAbout() {
  if (view_ && view_->IsReading()) return;
  CAboutBox about(frame_.get());
  ui::RunModal(about);
}

void COrvanePortApp::ExitInstance() {
  SaveStdProfileSettings();
  // A hive that cannot be written was reported at start; the place is then forgotten.
  SavePlacement();
}
