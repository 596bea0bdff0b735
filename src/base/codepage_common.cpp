// What the code-page conversions do alike over every platform's tables.
#include "base/codepage.h"

namespace quill {

Text utf8_to_gbk(std::string_view utf8) {
  // ASCII is the same in both, and an API answer is mostly ASCII: copy it
  // straight and convert only the runs of other bytes. A run ends only at an
  // ASCII byte, which also ends any malformed sequence, so the result is the
  // same as converting the whole text.
  Text out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t run = i;
    while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) >= 0x80) ++run;
    if (run > i) {
      out += utf16_to_gbk(utf8_to_utf16(utf8.substr(i, run - i)));
      i = run;
      continue;
    }
    while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) < 0x80) ++run;
    out.append(utf8, i, run - i);
    i = run;
  }
  return out;
}

}  // namespace quill
