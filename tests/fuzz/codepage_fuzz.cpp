// Code-page conversions: valid GBK survives the way to Unicode and back, and the
// UTF-8 forms agree with the UTF-16 ones (the ASCII fast path included).
#include <cstdlib>

#include "base/codepage.h"

namespace {

void agree(bool same) {
  if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quill;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const std::u16string unicode = gbk_to_utf16(input);
  // The converter reads the characters the text walks step over, one unit each.
  std::size_t characters = 0;
  for (std::size_t i = 0; i < input.size(); i += gbk_char_length(input, i)) ++characters;
  agree(unicode.size() == characters);
  agree(utf8_to_utf16(gbk_to_utf8(input)) == unicode);
  agree(utf8_to_gbk(input) == utf16_to_gbk(utf8_to_utf16(input)));
  // Valid GBK: nothing decoded to the replacement character or to a
  // character the way back cannot hold.
  if (unicode.find(u'\uFFFD') != std::u16string::npos) return 0;
  const Text back = utf16_to_gbk(unicode);
  agree(gbk_to_utf16(back) == unicode);
  agree(back == input);
  return 0;
}
