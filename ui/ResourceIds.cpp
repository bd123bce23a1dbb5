#include "ui/ResourceIds.h"

#include <QString>

namespace ui {
namespace {

constexpr orvane::res::IdName kDialogButtons[] = {{"IDOK", IDOK}, {"IDCANCEL", IDCANCEL}};

}  // namespace

std::optional<int> ResolveId(QStringView token, IdTable ids) {
  if (ids.empty()) {
    bool ok = false;
    const int value = token.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
  }
  const QByteArray name = token.toLatin1();
  const std::string_view view(name.constData(), static_cast<size_t>(name.size()));
  if (auto value = orvane::res::FindId(ids, view)) return value;
  return orvane::res::FindId(kDialogButtons, view);
}

}  // namespace ui
