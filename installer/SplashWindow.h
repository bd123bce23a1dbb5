// The installer's splash: bitmap IDB_SPLASH in a borderless pop-up of exactly its size,
// centred, closed by its 3500 ms timer or by the first key or mouse-button press the
// application's pre-translation sees.
#pragma once

#include <QPixmap>
#include <QWidget>

class SplashWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTimerMs = 3500;
  // How long a splash shown from now on stays up when left alone (kTimerMs unless set;
  // tests shorten it).
  static void SetTimerMs(int ms);

  // Set once at start-up: whether a splash may be shown at all.
  static void EnableSplashScreen(bool enable = true);
  static bool SplashScreenEnabled();
  // Shows the splash owned by |owner| when it is allowed and none is up.
  static void ShowSplashScreen(QWidget* owner);
  // The splash on screen, or null.
  static SplashWindow* Current();

  // The application's message pre-translation: while a splash is up, a key press,
  // system key press, or left, right or middle button press in any window closes it
  // and is consumed (true). Messages dispatched directly (DirectDispatch) skip it.
  static bool PreTranslateMessage(QObject* receiver, QEvent* event);
  class DirectDispatch {
   public:
    DirectDispatch();
    ~DirectDispatch();
    // Whether messages are dispatched directly right now.
    static bool Active();
    DirectDispatch(const DirectDispatch&) = delete;
    DirectDispatch& operator=(const DirectDispatch&) = delete;

   private:
    bool previous_;
  };

  // Destroys the splash, forgets it and makes the owner repaint.
  void HideSplashScreen();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  SplashWindow(QWidget* owner, const QPixmap& bitmap);
  ~SplashWindow() override;

  QPixmap bitmap_;
  int timerId_ = 0;
};
