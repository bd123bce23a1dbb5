#include "screen/CAboutBox.h"

CAboutBox::CAboutBox(QWidget* parent) : ui::TemplateDialog(kTemplateId, parent) {
  setObjectName(QStringLiteral("CAboutBox"));
}

void CAboutBox::OnInitDialog() {
  // Centre over the owner, as the box opens.
  if (QWidget* owner = parentWidget()) {
    const QRect frame = owner->window()->geometry();
    move(frame.center() - rect().center());
  }
}
