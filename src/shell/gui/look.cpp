#include "shell/gui/look.h"

#include <QStringList>
#include <QStyleOptionComplex>
#include <algorithm>

namespace quill::shell::gui {

QFont SongFont() {
  QFont font;
  font.setFamilies(
      {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Bitmap Song"), QStringLiteral("AR PL UMing CN")});
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  return font;
}

DropDownStyle::DropDownStyle(QObject* parent) { setParent(parent); }

int DropDownStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returned) const {
  if (hint == SH_ComboBox_Popup) return 0;
  return QProxyStyle::styleHint(hint, option, widget, returned);
}

QRect DropDownStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                    SubControl part, const QWidget* widget) const {
  QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
  if (control != CC_ComboBox || option->direction != Qt::LeftToRight) return rect;
  const QRect arrow = QProxyStyle::subControlRect(control, option, SC_ComboBoxArrow, widget);
  constexpr int kArrowWidth = 14;
  const int arrow_left = std::max(arrow.left(), arrow.right() + 1 - kArrowWidth);
  if (part == SC_ComboBoxArrow) rect.setLeft(arrow_left);
  // The text from just inside the frame to the arrow.
  if (part == SC_ComboBoxEditField)
    rect.setCoords(option->rect.left() + 3, rect.top(), arrow_left - 1, rect.bottom());
  return rect;
}

}  // namespace quill::shell::gui
