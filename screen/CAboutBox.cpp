#include "screen/CAboutBox.h"

#include "resources/OrvanePortIds.h"

using namespace orvane::port_ids;

CAboutBox::CAboutBox(QWidget* parent) : ui::TemplateDialog(kIdTable, IDD_ABOUTBOX, parent) {
  setObjectName(QStringLiteral("CAboutBox"));
}

void CAboutBox::OnInitDialog() {
  // Centre over the owner, as the box opens.
  if (QWidget* owner = parentWidget()) {
    const QRect frame = owner->window()->geometry();
    move(frame.center() - rect().center());
  }
}
