#include "shell/gui/controls.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

#include "shell/gui/link_opener.h"
#include "shell/gui/look.h"
#include "shell/gui/qt_text.h"
#include "shell/gui/single_line.h"

namespace quill::shell::gui {
namespace {

// Keeps out of the count box what it does not accept as typed; Ctrl+V and the
// like pass whatever text the platform attaches to them (Ctrl+Alt is AltGr).
class CountFilter final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const auto m = key->modifiers();
      const bool shortcut = (m & (Qt::ControlModifier | Qt::MetaModifier)) && !(m & Qt::AltModifier);
      return !shortcut && kept(key->text()) != key->text();
    }
    if (event->type() == QEvent::InputMethod) {
      auto* im = static_cast<QInputMethodEvent*>(event);
      im->setCommitString(kept(im->commitString()), im->replacementStart(), im->replacementLength());
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static QString kept(const QString& typed) {
    QString out;
    for (char32_t c : typed.toUcs4())
      if (CountBoxAccepts(c)) out += QString::fromUcs4(&c, 1);
    return out;
  }
};

}  // namespace

QWidget* MakeControl(const ControlRow& row, QWidget* parent) {
  const QString caption = from_gbk(row.caption);
  switch (row.kind) {
    case ControlKind::keywords: {
      auto* box = new QPlainTextEdit(parent);
      box->setLineWrapMode(QPlainTextEdit::NoWrap);
      box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      box->setTabChangesFocus(true);  // as a Windows dialog's edit box: Tab leaves it
      return box;
    }
    case ControlKind::edit:
    case ControlKind::count: {
      auto* box = new QLineEdit(parent);
      KeepFirstLineOfInserts(box);
      if (row.kind == ControlKind::count) {
        box->setAlignment(Qt::AlignCenter);
        box->installEventFilter(new CountFilter(box));
      }
      return box;
    }
    case ControlKind::combo: {
      auto* box = new QComboBox(parent);
      box->setStyle(new DropDownStyle(box));
      for (const Text& item : row.items) box->addItem(from_gbk(item));
      box->setCurrentIndex(row.selection);
      const int row_height = std::max(1, box->view()->sizeHintForRow(0));
      box->setMaxVisibleItems(std::max(box->maxVisibleItems(), kOpenListHeight / row_height + 1));
      return box;
    }
    case ControlKind::button: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      return button;
    }
    case ControlKind::check:
      return new QCheckBox(caption, parent);
    case ControlKind::link:
      return MakeLinkLabel(caption, from_gbk(row.address), parent);
    case ControlKind::label:
      break;
  }
  auto* label = new QLabel(caption, parent);
  label->setTextFormat(Qt::PlainText);
  if (row.colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(row.colour));
    label->setPalette(palette);
  }
  return label;
}

}  // namespace quill::shell::gui
