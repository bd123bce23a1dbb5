// The wait cursor, on for the life of the object (nesting is fine).
#pragma once

namespace ui {

class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  // How many wait cursors are on right now.
  static int Depth();
};

}  // namespace ui
