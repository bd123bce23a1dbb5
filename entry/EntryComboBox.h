// EntryComboBox: a combo box with the Enter-key filter, on itself and on its edit box.
// Templates name it with CLASS=EntryComboBox (see RegisterEntryControlClasses).
#pragma once

#include <QComboBox>

class EntryComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit EntryComboBox(QWidget* parent = nullptr);

 protected:
  void childEvent(QChildEvent* event) override;
};
