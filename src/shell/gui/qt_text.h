#pragma once
// The one crossing between the core's GBK texts and Qt's QString.

#include <QString>
#include <string_view>

#include "base/text.h"

namespace quill::shell::gui {

// Malformed GBK bytes come out as U+FFFD.
QString from_gbk(std::string_view gbk);
// Characters GBK cannot hold become "?".
Text to_gbk(const QString& text);

// Multi-line forms: the core separates lines by CR LF, a Qt text control by "\n".
QString from_gbk_lines(std::string_view gbk);
Text to_gbk_lines(const QString& text);

}  // namespace quill::shell::gui
