#include "shell/gui/link_opener.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QLabel>

namespace quill::shell::gui {
namespace {

constexpr char kLinkProperty[] = "quillmoorLink";

// Qt announces every label as static text.
QAccessibleInterface* LinkAccessible(const QString&, QObject* object) {
  auto* label = qobject_cast<QLabel*>(object);
  if (!label || !label->property(kLinkProperty).toBool()) return nullptr;
  return new QAccessibleWidget(label, QAccessible::Link, label->accessibleName());
}

}  // namespace

QLabel* MakeLinkLabel(const QString& text, const QString& address, QWidget* parent) {
  static const bool installed = (QAccessible::installFactory(LinkAccessible), true);
  (void)installed;
  auto* link = new QLabel(parent);
  link->setProperty(kLinkProperty, true);
  link->setTextFormat(Qt::RichText);
  link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), text.toHtmlEscaped()));
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  link->setOpenExternalLinks(false);
  link->setAccessibleName(text);
  return link;
}

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
