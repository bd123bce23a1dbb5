// Where the main window was and how large, and the interface's zoom, kept in the hive
// below Software\Orvane\Orvane Port Linewright\Window (X, Y, Width, Height, Zoom). No Qt.
#pragma once

#include <cstdint>

namespace orvane {

namespace reg {
class Hive;
}

struct WindowPlacement {
  int32_t x = 0, y = 0;           // the window's place on the desktop
  int32_t width = 0, height = 0;  // its size (0: the screen's own)
  int32_t zoomPercent = 100;
};

class WindowPlacementStore {
 public:
  static constexpr int32_t kMinZoom = 100;
  static constexpr int32_t kMaxZoom = 300;
  // Sizes beyond this are taken for damage and not used.
  static constexpr int32_t kMaxExtent = 100000;

  explicit WindowPlacementStore(reg::Hive& hive) : hive_(hive) {}

  // True when a whole placement was stored: every value read and in range (the zoom is
  // clamped to 100..300). Otherwise |placement| is left as it was.
  bool Load(WindowPlacement* placement) const;
  // All values in one step; false when the hive cannot be written.
  bool Save(const WindowPlacement& placement);

 private:
  reg::Hive& hive_;
};

}  // namespace orvane
