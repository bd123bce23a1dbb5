// The program's document: it holds no data. A new document does only the framework's
// default (it has nothing to reset), and it writes and reads nothing.
#pragma once

#include <QString>

class COrvanePortDoc {
 public:
  bool OnNewDocument() {
    title_.clear();
    return true;
  }
  // Opening a file reads nothing from it; the document takes the file's name.
  bool OnOpenDocument(const QString& path);
  const QString& Title() const { return title_; }

 private:
  QString title_;
};
