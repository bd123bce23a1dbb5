#include "screen/COrvanePortDoc.h"

#include <QFile>
#include <QFileInfo>

bool COrvanePortDoc::OnOpenDocument(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  title_ = QFileInfo(path).fileName();
  return true;
}
