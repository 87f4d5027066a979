#include "app/text_listing.h"

#include "forms/format_port_info.h"
#include "forms/list_forms.h"

namespace ttyenum {

int writeTextListing(const PortListing& listing, const ListingSettings& settings,
                     std::ostream& out) {
  if (listing.found == 0)
    return 0;
  int counter = 0;
  for (const ListedPort& listed : listing.ports) {
    if (!settings.format.empty())
      out << formatPortInfo(listed.port, listed.facts, settings.format);
    else if (settings.listForm == ListForm::kShort)
      writeShortForm(listed.port, out);
    else
      writeLongForm(listed.port, out);
    ++counter;
  }
  if (!settings.countingOff)
    out << "Found serial ports: " << counter << '\n';
  return counter;
}

}  // namespace ttyenum
