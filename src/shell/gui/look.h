#pragma once
// What makes the window look like the one drawn for Chinese Windows: a Song
// face at 12 pixels, and drop-down lists that open below their box.

#include <QFont>
#include <QProxyStyle>

namespace quill::shell::gui {

// SimSun where it is installed, else the Song faces Debian packages offer
// (bitmap glyphs at 12 pixels first); 12 pixels, normal weight.
QFont SongFont();

// The current style, except that a combo box's list drops below the box
// instead of opening over it, and its arrow button is as narrow as Windows'
// (the table's widths leave no more room for the text). Lives as long as its parent.
class DropDownStyle final : public QProxyStyle {
 public:
  explicit DropDownStyle(QObject* parent);
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returned) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                       const QWidget* widget) const override;
};

}  // namespace quill::shell::gui
