// Platforms without a ".htm" handler lookup of their own: Qt's open action only.
#include "shell/gui/link_opener.h"

namespace quill::shell::gui {

bool DesktopHandlesScheme(const QString&) { return true; }
bool StartHtmHandler(const QUrl&) { return false; }

}  // namespace quill::shell::gui
