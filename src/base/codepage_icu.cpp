#include "base/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>

namespace quill {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr open_gbk() {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open("windows-936-2000", &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  return converter;
}

// ICU converters keep state, so each thread has its own.
UConverter* gbk_converter() {
  thread_local ConverterPtr converter = open_gbk();
  if (converter) ucnv_reset(converter.get());
  return converter.get();
}

}  // namespace

std::u16string gbk_to_utf16(std::string_view gbk) {
  UConverter* converter = gbk_converter();
  if (gbk.empty() || !converter) return {};
  // Each byte gives at most one UTF-16 unit (a pair gives one, a bad byte U+FFFD).
  std::u16string out(gbk.size() + 1, u'\0');
  UChar* target = out.data();
  const char* source = gbk.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, gbk.data() + gbk.size(), nullptr, true,
                 &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(target - out.data()));
  return out;
}

Text utf16_to_gbk(std::u16string_view utf16) {
  UConverter* converter = gbk_converter();
  if (utf16.empty() || !converter) return {};
  // At most two bytes per UTF-16 unit.
  Text out(utf16.size() * 2 + 2, '\0');
  char* target = out.data();
  const UChar* source = utf16.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUnicode(converter, &target, out.data() + out.size(), &source, utf16.data() + utf16.size(), nullptr,
                   true, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(target - out.data()));
  return out;
}

std::string gbk_to_utf8(std::string_view gbk) {
  std::u16string utf16 = gbk_to_utf16(gbk);
  if (utf16.empty()) return {};
  // At most three UTF-8 bytes per BMP unit; a surrogate pair (two units) needs four.
  std::string out(utf16.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, utf16.data(),
                     static_cast<int32_t>(utf16.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  // Never more UTF-16 units than UTF-8 bytes.
  std::u16string out(utf8.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

}  // namespace quill
