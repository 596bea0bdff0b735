// The text primitives against the plain character walk.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "base/text.h"
#include "text_reference.h"

namespace {

void agree(bool same) {
  if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quill;
  FuzzedDataProvider in(data, size);
  const int start = in.ConsumeIntegralInRange<int>(-2, 300);
  const std::string sub = in.ConsumeRandomLengthString(8);
  const std::string with = in.ConsumeRandomLengthString(12);
  const std::string text = in.ConsumeRemainingBytesAsString();
  const std::size_t region = static_cast<std::size_t>(std::max(start - 1, 0));

  agree(txt_find(text, sub) ==
        (sub.empty() ? (text.empty() ? -1 : 1) : reference::find_position(text, sub, 0)));
  if (!sub.empty()) {
    agree(txt_find(text, sub, std::nullopt, true) == reference::find_position(text, sub, 0, true));
    agree(txt_find(text, sub, start) ==
          (region >= text.size() ? -1 : reference::find_position(text, sub, region)));
    agree(txt_find_last(text, sub) == reference::find_last(text, sub));
    agree(txt_find_last(text, sub, start) ==
          (start <= 1 ? -1 : reference::find_last(std::string_view(text).substr(0, region), sub)));
    agree(txt_replace(text, sub, with) == reference::replace(text, sub, with));
    agree(txt_split(text, sub) == reference::split(text, sub));
  }
  agree(txt_trim(text) == reference::trim(text));
  agree(txt_upper(text) == reference::upper_text(text));
  return 0;
}
