// The id tables against the resources and the code: every id a template, menu or
// string table entry uses is a name of exactly one program's table, and every name
// of a table is used by that program's resources or code.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "resources/InstallerIds.h"
#include "resources/OrvanePortIds.h"
#include "ui/Menus.h"
#include "ui/Template.h"

namespace {

struct Program {
  const char* name;
  orvane::res::IdTable ids;
  QStringList codeFolders;
};

const std::array<Program, 2> kPrograms = {{
    {"OrvanePort", orvane::port_ids::kIdTable, {"screen", "entry", "preferences", "export"}},
    {"OrvaneInstaller", orvane::installer_ids::kIdTable, {"installer"}},
}};

QString Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QSet<QString> Words(const QString& text) {
  static const QRegularExpression word(QStringLiteral("\\b[A-Z][A-Z0-9_]+\\b"));
  QSet<QString> words;
  for (const auto& m : word.globalMatch(text)) words << m.captured();
  return words;
}

struct Scan {
  QStringList faults;                 // resources whose ids no single program names
  std::array<QSet<QString>, 2> used;  // per program: the words of its resources and code
};

// Each template and menu belongs to the one program whose table loads it; each string
// entry to the one program whose table has its name.
Scan ScanResourcesAndCode() {
  Scan scan;
  auto claim = [&](const QString& what, const QString& text,
                   const std::function<bool(orvane::res::IdTable, QString*)>& load) {
    std::vector<size_t> owners;
    QStringList errors;
    for (size_t p = 0; p < kPrograms.size(); ++p) {
      QString error;
      if (load(kPrograms[p].ids, &error)) owners.push_back(p);
      errors << QStringLiteral("%1: %2").arg(kPrograms[p].name, error);
    }
    if (owners.size() == 1) scan.used[owners[0]] += Words(text);
    else scan.faults << what + QStringLiteral(" (") + errors.join(QStringLiteral("; ")) + u')';
  };
  for (const QFileInfo& file : QDir(QStringLiteral(":/templates")).entryInfoList()) {
    const int id = file.baseName().toInt();
    claim(file.fileName(), Read(file.filePath()), [id](orvane::res::IdTable ids, QString* error) {
      return ui::LoadTemplate(ids, id, error).has_value();
    });
  }
  for (const QFileInfo& file : QDir(QStringLiteral(":/menus")).entryInfoList()) {
    const int id = file.baseName().toInt();
    claim(file.fileName(), Read(file.filePath()), [id](orvane::res::IdTable ids, QString* error) {
      QMenu menu;
      return ui::LoadPopupMenu(ids, id, &menu, error);
    });
  }
  // Read without a table, every name is one of the "others"; a number would be taken.
  QStringList names;
  if (!ui::ParseStringTable(Read(QStringLiteral(":/strings.txt")), {}, &names).isEmpty())
    scan.faults << QStringLiteral("strings.txt gives an id as a number");
  for (const QString& name : names) {
    claim(QStringLiteral("strings.txt ") + name, name, [&](orvane::res::IdTable ids, QString*) {
      return orvane::res::FindId(ids, name.toStdString()).has_value();
    });
  }
  for (size_t p = 0; p < kPrograms.size(); ++p) {
    for (const QString& folder : kPrograms[p].codeFolders) {
      QDirIterator it(QStringLiteral(ORVANE_SOURCE_DIR "/") + folder, {"*.h", "*.cpp"}, QDir::Files,
                      QDirIterator::Subdirectories);
      while (it.hasNext()) scan.used[p] += Words(Read(it.next()));
    }
  }
  return scan;
}

TEST(ResourceIds, EveryIdInTheResourcesIsANameOfOneProgram) {
  const Scan scan = ScanResourcesAndCode();
  EXPECT_TRUE(scan.faults.isEmpty()) << scan.faults.join(u'\n').toStdString();
}

TEST(ResourceIds, EveryNameIsUsedByItsProgramsResourcesOrCode) {
  const Scan scan = ScanResourcesAndCode();
  for (size_t p = 0; p < kPrograms.size(); ++p) {
    QStringList unused;
    for (const auto& id : kPrograms[p].ids) {
      const auto name = QString::fromLatin1(id.name.data(), static_cast<qsizetype>(id.name.size()));
      if (!scan.used[p].contains(name)) unused << name;
    }
    EXPECT_TRUE(unused.isEmpty()) << kPrograms[p].name << ": " << unused.join(u' ').toStdString();
  }
}

}  // namespace
