#include "ui/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace ui {
namespace {
int g_depth = 0;
}

WaitCursor::WaitCursor() {
  ++g_depth;
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor() {
  --g_depth;
  QApplication::restoreOverrideCursor();
}

int WaitCursor::Depth() { return g_depth; }

}  // namespace ui
