#include "preferences/ProfileFields.h"

#include "entry/CommandEdit.h"
#include "resources/OrvanePortIds.h"
#include "ui/SoftInputPanel.h"
#include "ui/TemplateHost.h"

using namespace orvane::port_ids;

void ProfileFields::Bind(ui::TemplateHost& host) {
  host.BindText(IDC_PREFIX, &prefix);
  host.BindText(IDC_SUFFIX, &suffix);
  host.BindInt(IDC_TIMEOUT, &timeout);
  for (int id : {IDC_PREFIX, IDC_SUFFIX, IDC_TIMEOUT, IDC_TOKEN}) ui::sip::FollowFocus(host.Control(id));
}

void ProfileFields::SetMenuModes(ui::TemplateHost& host) {
  SetMenuMode(host, IDC_PREFIX, entry::MenuMode::Binary);
  SetMenuMode(host, IDC_SUFFIX, entry::MenuMode::Binary);
  SetMenuMode(host, IDC_TOKEN, entry::MenuMode::Binary);
  SetMenuMode(host, IDC_TIMEOUT, entry::MenuMode::Editing);
}
