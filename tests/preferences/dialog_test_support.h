// What the profile dialog tests share: a fresh in-memory hive that can be told to fail
// its writes with the preference store on it, and user actions on the real controls.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "resources/OrvanePortIds.h"
#include "tests/platform/FaultyHive.h"
#include "ui/Template.h"

namespace dialogtest {

using namespace orvane::port_ids;

class DialogTest : public ::testing::Test {
 protected:
  orvane::testing::FaultyHive& hive() { return hive_; }

  orvane::PreferenceProfile Stored(const std::u16string& name) const {
    orvane::PreferenceProfile p;
    EXPECT_TRUE(store.LoadProfile(name, &p)) << "profile not stored whole";
    return p;
  }

  orvane::testing::FaultyHive hive_{orvane::reg::Hive::OpenMemory()};
  orvane::PreferenceStore store{hive_};
};

inline orvane::PreferenceProfile MakeProfile(const std::u16string& name, const std::u16string& prefix,
                                             int timeout, std::initializer_list<std::u16string> tokens) {
  orvane::PreferenceProfile p;
  p.name = name;
  p.prefix = prefix;
  p.suffix = u"<0D>";
  p.timeout = timeout;
  p.tokens = tokens;
  return p;
}

inline QComboBox* Combo(QWidget* root, int id) { return qobject_cast<QComboBox*>(ui::FindControl(root, id)); }
inline QLineEdit* Edit(QWidget* root, int id) { return qobject_cast<QLineEdit*>(ui::FindControl(root, id)); }
inline QPushButton* Button(QWidget* root, int id) {
  return qobject_cast<QPushButton*>(ui::FindControl(root, id));
}

// Picks entry |index| of a drop-down list, as a tap on it in the open list does.
inline void Pick(QWidget* root, int id, int index) {
  QComboBox* combo = Combo(root, id);
  ASSERT_NE(combo, nullptr);
  ASSERT_TRUE(combo->isEnabled());
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

// Replaces a field's text by typing.
inline void Type(QWidget* root, int id, const QString& text) {
  QLineEdit* edit = Edit(root, id);
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  edit->del();
  QTest::keyClicks(edit, text);
}

// Taps a button; a disabled one does nothing, as on the screen.
inline void Tap(QWidget* root, int id) {
  QPushButton* button = Button(root, id);
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
}

inline QStringList Entries(QWidget* root, int id) {
  QStringList items;
  if (QComboBox* combo = Combo(root, id))
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

inline std::string Str(const QString& s) { return s.toStdString(); }

}  // namespace dialogtest
