// The application object: start-up of OrvanePort and the commands the application
// handles (about, new, open).
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "screen/COrvanePortDoc.h"

class CMainFrame;
class COrvanePortView;
namespace orvane {
struct WindowPlacement;
}
namespace orvane::reg {
class Hive;
}

// What the command line asks for: `OrvanePort [DEVICE [BAUD]]`, or `OrvanePort FILE`.
struct StartArguments {
  QString file;    // the (empty) document to open
  QString device;  // a device path or a port address to select at start
  QString baud;    // the baud rate to put in the baud box with it
};

// Reads the arguments after the program's name. An argument is a device when it is a
// port address (scheme://...), a path under /dev/ or a character device, or when a baud
// rate follows it; otherwise it names the document. False, with the reason in
// |problem|, for more than two arguments or a baud rate that is not a whole number.
bool ParseStartArguments(const QStringList& arguments, StartArguments* start, QString* problem);

class COrvanePortApp {
 public:
  static constexpr int kRecentFiles = 4;

  // Opens the program's own hive (Hive::OpenHandheld) once, for the whole run: the
  // recent files, the driver table, the preferences and the history are kept there. When
  // it cannot be written (or not even read), start-up says so once.
  COrvanePortApp();
  // Keeps all of that in |hive| instead, which must outlive the application.
  explicit COrvanePortApp(orvane::reg::Hive& hive);
  ~COrvanePortApp();

  // Start-up, in order: the framework's settings key and its recent-file list, the
  // single-document template, the command line (a new document: the frame with its
  // command bar and the screen), show the main window, then register the binary
  // editor's window class. A device on the command line is selected in the modem list
  // (or typed under "<Not Listed>"), its baud rate put in the baud box. False when
  // start-up fails (the program then ends).
  bool InitInstance(const QStringList& arguments);
  // Writes the recent-file list back, and the window's place, size and zoom.
  void ExitInstance();
  // The main window's place, size and zoom into the hive (false when it cannot be written).
  bool SavePlacement() const;

  // The framework's settings key below Software\ and the recent files read from it.
  void SetRegistryKey(const std::u16string& key);
  void LoadStdProfileSettings(int recentFiles);
  void SaveStdProfileSettings() const;
  const QStringList& RecentFiles() const { return recentFiles_; }
  std::u16string ProfileKeyPath() const;  // Software\<key>\OrvanePort

  bool OnCommand(int id);
  void OnAppAbout();

  CMainFrame* MainFrame() const { return frame_.get(); }
  COrvanePortView* View() const { return view_; }
  COrvanePortDoc* Document() const { return doc_.get(); }

 private:
  // The single-document template: the document, the frame and the screen, made for a
  // new or opened document (an existing frame and screen are reused).
  bool OpenDocumentFile(const QString& path);
  bool CreateFrameAndView();
  void RestorePlacement(const orvane::WindowPlacement& placement);

  std::string hiveProblem_;  // "PATH: REASON" when the program's own hive cannot be written
  std::unique_ptr<orvane::reg::Hive> ownHive_;  // the program's own, when it opened one
  orvane::reg::Hive& hive_;
  std::u16string registryKey_;
  QStringList recentFiles_;
  int recentCapacity_ = 0;
  std::unique_ptr<COrvanePortDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
  COrvanePortView* view_ = nullptr;  // owned by the frame
};
