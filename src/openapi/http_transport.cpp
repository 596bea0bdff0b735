#include "openapi/http_transport.h"

#include <algorithm>
#include <chrono>

#include "base/text.h"
#include "base/ui_hooks.h"
#include "openapi/http_worker.h"

namespace quill {
namespace {

constexpr std::chrono::milliseconds kWaitSlice{15};

bool has_web_scheme(std::string_view url) {
  Text lower = txt_lower(txt_left(url, 8));
  return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace

Bytes HttpRequest(std::string_view url, std::string_view method, std::string_view body, int wait_seconds) {
  Text verb = txt_upper(method);
  bool post = verb == "POST";
  if (!post && !verb.empty() && verb != "GET") return {};
  if (!has_web_scheme(url) || wait_seconds <= 0) return {};

  // A stalled server cannot keep the worker forever, even while the caller keeps
  // pumping and so keeps extending its own wait.
  int connect_seconds = std::max(wait_seconds, 5);
  int stall_seconds = std::max(2 * wait_seconds, 5);
  HttpWorker worker(url, post, post ? body : std::string_view(), connect_seconds, stall_seconds);

  using Clock = std::chrono::steady_clock;
  const auto wait = std::chrono::seconds(wait_seconds);
  auto deadline = Clock::now() + wait;
  for (;;) {
    if (worker.wait_for(kWaitSlice)) return worker.take_body();
    bool pumped = pump_events();
    if (quit_requested()) return {};
    if (pumped) {
      deadline = Clock::now() + wait;
    } else if (Clock::now() >= deadline) {
      return {};
    }
  }
}

}  // namespace quill
