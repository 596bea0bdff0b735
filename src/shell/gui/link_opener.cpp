#include "shell/gui/link_opener.h"

#include <QDesktopServices>

namespace quill::shell::gui {

LinkOpeners DesktopLinkOpeners() {
  LinkOpeners openers;
  // QDesktopServices reports success once it has started xdg-open, even when
  // no program is registered for the address: ask first.
  openers.open_action = [](const QUrl& address) {
    return DesktopHandlesScheme(address.scheme()) && QDesktopServices::openUrl(address);
  };
  openers.htm_handler = StartHtmHandler;
  return openers;
}

bool OpenLink(const QUrl& address, const LinkOpeners& openers) {
  if (openers.open_action && openers.open_action(address)) return true;
  return openers.htm_handler && openers.htm_handler(address);
}

}  // namespace quill::shell::gui
