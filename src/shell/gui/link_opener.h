#pragma once
// Opening the hyperlinks' web addresses: the desktop's "open" action first,
// then the program registered for ".htm" files.

#include <QUrl>
#include <functional>

class QLabel;
class QWidget;

namespace quill::shell::gui {

struct LinkOpeners {
  // The desktop's open action; false when it has nothing to open the address with.
  std::function<bool(const QUrl&)> open_action;
  // Starts the program registered for ".htm" files with the address; false
  // when none is registered or it could not be started.
  std::function<bool(const QUrl&)> htm_handler;
};

// A label showing text as a link to address (activating it emits
// linkActivated, nothing opens by itself) that a screen reader announces as a link.
QLabel* MakeLinkLabel(const QString& text, const QString& address, QWidget* parent);

// The openers of this desktop.
LinkOpeners DesktopLinkOpeners();

// Tries the open action, then the ".htm" handler; false when neither opened
// the address (nothing was started). Missing openers count as failing.
bool OpenLink(const QUrl& address, const LinkOpeners& openers);

// The platform side (link_opener_posix.cpp): whether the desktop names a
// program for the address's scheme (true when it cannot tell), and the ".htm"
// handler itself.
bool DesktopHandlesScheme(const QString& scheme);
bool StartHtmHandler(const QUrl& address);

}  // namespace quill::shell::gui
