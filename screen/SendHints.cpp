#include "screen/SendHints.h"

#include <QStringList>

#include "engine/ResponseStore.h"
#include "platform/OpenFailure.h"
#include "preferences/PreferenceStore.h"
#include "screen/SendRules.h"
#include "ui/Messages.h"

bool LastSendLacksLineEnd(const orvane::ResponseStore& rows) {
  // The send's row is the newest exchange; unsolicited rows may follow it.
  for (int slot = rows.Count() - 1; slot >= 0; --slot)
    if (!rows.At(slot).Unsolicited()) return orvane::LacksLineEnd(rows.At(slot));
  return false;
}

bool AdoptLineEndProfile(QWidget* parent, orvane::PreferenceStore& preferences) {
  const QString name = QString::fromStdU16String(kLineEndProfile);
  if (!ui::Confirm(parent, QStringLiteral("No reply came back. Modems wait for a carriage return after a command: "
                                          "add <0D> at its end (AT<0D>), or use a profile that adds it.\n\n"
                                          "Use the profile \"%1\", which adds <0D>, and end the waiting "
                                          "command with <0D> now?")
                               .arg(name)))
    return false;
  orvane::PreferenceProfile profile;
  bool saved = preferences.LoadProfile(kLineEndProfile, &profile);
  if (!saved) {
    profile = {};
    profile.name = kLineEndProfile;
    profile.suffix = u"<0D>";
    profile.timeout = 3;
    saved = preferences.SaveProfile(profile);
  }
  if (!saved || !preferences.SaveCurrentProfileName(kLineEndProfile)) {
    ui::ShowMessage(parent, QStringLiteral("The profile \"%1\" cannot be saved: add <0D> to the command instead.")
                                .arg(name));
    return false;
  }
  return true;
}

QString OtherReadersWarning(const QString& port) {
  QStringList others;
  for (const orvane::PortHolder& holder : orvane::FindPortHolders(port.toStdString()))
    if (!holder.otherEnd)
      others << QStringLiteral("%1 (pid %2)").arg(QString::fromStdString(holder.program)).arg(holder.pid);
  if (others.isEmpty()) return {};
  return QStringLiteral("%1 is also open in %2: replies may go there.").arg(port, others.join(QStringLiteral(", ")));
}
