// Code page 936 and UTF-8 through the system's own tables, where ICU is not
// there: MultiByteToWideChar and WideCharToMultiByte.
#include <windows.h>

#include "base/codepage.h"

namespace quill {
namespace {

constexpr UINT kGbk = 936;
// Windows' table maps the single byte FF to this private-use character; Wine's
// table lacks it, so it is mapped here for both.
constexpr char16_t kByteFF = 0xF8F5;

// The system decodes bad bytes to "?"; this decodes character by character so
// that each bad one (a pair without a mapping, a stray byte) is U+FFFD instead.
std::u16string gbk_by_character(std::string_view gbk) {
  std::u16string out;
  out.reserve(gbk.size());
  for (std::size_t i = 0; i < gbk.size();) {
    const int length = static_cast<int>(gbk_char_length(gbk, i));
    wchar_t unit = 0;
    const bool mapped =
        ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data() + i, length, &unit, 1) == 1;
    if (!mapped) unit = gbk[i] == '\xFF' ? kByteFF : 0xFFFD;
    out += static_cast<char16_t>(unit);
    i += static_cast<std::size_t>(length);
  }
  return out;
}

std::u16string to_utf16(UINT code_page, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(bytes.size());
  // Each byte gives at most one UTF-16 unit, except a four-byte UTF-8 sequence (two).
  std::u16string out(bytes.size() + 1, u'\0');
  const DWORD flags = code_page == CP_UTF8 ? 0 : MB_ERR_INVALID_CHARS;
  const int n = ::MultiByteToWideChar(code_page, flags, bytes.data(), size,
                                      reinterpret_cast<wchar_t*>(out.data()), static_cast<int>(out.size()));
  if (n <= 0 && code_page != CP_UTF8) return gbk_by_character(bytes);
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

// GBK holds no character beyond the first plane: a surrogate pair, or a lone
// surrogate, is one character that becomes one "?".
std::u16string one_unit_per_character(std::u16string_view utf16) {
  std::u16string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit < 0xD800 || unit > 0xDFFF) {
      out += unit;
      continue;
    }
    if (unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) ++i;
    out += u'?';
  }
  return out;
}

std::string from_utf16(UINT code_page, std::u16string_view utf16) {
  if (utf16.empty() || utf16.size() > 0x1FFFFFFF) return {};
  std::u16string bmp;
  if (code_page != CP_UTF8) {
    bmp = one_unit_per_character(utf16);
    utf16 = bmp;
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
  const int size = static_cast<int>(utf16.size());
  // What GBK cannot hold becomes "?", never a look-alike.
  const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* substitute = code_page == CP_UTF8 ? nullptr : "?";
  std::string out(utf16.size() * 3 + 1, '\0');
  const int n = ::WideCharToMultiByte(code_page, flags, wide, size, out.data(), static_cast<int>(out.size()),
                                      substitute, nullptr);
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

}  // namespace

std::u16string gbk_to_utf16(std::string_view gbk) { return to_utf16(kGbk, gbk); }
std::u16string utf8_to_utf16(std::string_view utf8) { return to_utf16(CP_UTF8, utf8); }
Text utf16_to_gbk(std::u16string_view utf16) {
  Text out;
  for (;;) {
    const std::size_t ff = utf16.find(kByteFF);
    out += from_utf16(kGbk, utf16.substr(0, ff));
    if (ff == std::u16string_view::npos) return out;
    out += '\xFF';
    utf16.remove_prefix(ff + 1);
  }
}
std::string gbk_to_utf8(std::string_view gbk) { return from_utf16(CP_UTF8, gbk_to_utf16(gbk)); }

}  // namespace quill
