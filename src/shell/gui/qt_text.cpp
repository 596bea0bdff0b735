#include "shell/gui/qt_text.h"

#include "base/codepage.h"

namespace quill::shell::gui {

QString from_gbk(std::string_view gbk) {
  const std::u16string wide = gbk_to_utf16(gbk);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

Text to_gbk(const QString& text) {
  return utf16_to_gbk(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

QString from_gbk_lines(std::string_view gbk) {
  QString text = from_gbk(gbk);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

Text to_gbk_lines(const QString& text) { return txt_crlf_lines(to_gbk(text)); }

}  // namespace quill::shell::gui
