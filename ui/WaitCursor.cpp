#include "ui/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace ui {

// Qt keeps a stack of override cursors, so nested wait cursors need no count here.
WaitCursor::WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace ui
