#include "base/extract.h"

namespace quill {

Text ExtractBetween(std::string_view text, std::string_view start_marker, std::string_view end_marker,
                    int& pos) {
  const int found = txt_find(text, start_marker, pos);
  if (found < 0) return {};
  const int value_start = found + txt_length(start_marker);
  const int end = txt_find(text, end_marker, value_start);
  if (end < 0) return {};
  pos = end + txt_length(end_marker);
  return txt_mid(text, value_start, end - value_start);
}

}  // namespace quill
