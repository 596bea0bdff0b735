#pragma once
// The program's only network code. Requests run on one transfer engine thread,
// side by side and over kept-alive connections, while the caller keeps its user
// interface alive through a Waiter. Failures are values: a Response says why it
// has no body.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

#include "base/convert.h"
#include "base/text.h"
#include "base/wait.h"

namespace quill::net {

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
inline constexpr std::size_t kMaxBodyBytes = 64u * 1024 * 1024;
// What all transfers still reading may hold together, however many run: an
// answer that would pass it fails as too large. A real answer is some 40 KB.
inline constexpr std::size_t kMaxBytesInFlight = 256u * 1024 * 1024;
// No request outlives this many wait times, whatever the user interface does.
inline constexpr int kCeilingFactor = 3;

enum class Failure {
  none,
  bad_request,  // not an http(s) URL, an unknown method, no wait time
  refused,      // no connection: refused, unreachable, unknown host
  timed_out,
  cut_off,  // reset or closed before the answer was whole
  too_large,
  tls,      // the secure connection failed (certificate, handshake)
  stopped,  // the caller gave up (the window is going away)
  other,
};
// A short GBK description for summaries ("超时", "连接被拒绝", ...).
Text FailureText(Failure failure);

struct Request {
  Text url;
  Text method;  // "POST", or "" / "GET"
  Text body;    // sent with POST only; a non-empty one as a form
  std::chrono::milliseconds wait{};  // none: not sent (bad_request)
  Text ca_file;  // certificates to trust for https, "" for the system's store
};

struct Response {
  Bytes body;
  long status = 0;  // the HTTP status; 0 when no answer came
  Failure failure = Failure::none;
  bool ok() const { return failure == Failure::none; }
};

struct Exchange;

// One request in flight, started by the constructor and running alongside any
// others. Destroying an unfinished transfer abandons it without blocking.
class Transfer {
 public:
  explicit Transfer(const Request& request);
  ~Transfer();
  Transfer(Transfer&&) noexcept;
  Transfer& operator=(Transfer&&) noexcept;

  // True once the transfer has finished; waits at most slice for that, less
  // when input comes for a waiter that pumps the thread's message queue.
  bool wait_for(std::chrono::milliseconds slice, const Waiter& waiter = NoUiWaiter());
  // The outcome of a finished transfer; Failure::other before it finished.
  Response take();

 private:
  std::shared_ptr<Exchange> exchange_;
};

// How a module's requests reach the network: who waits, for how long (each
// module knows its own wait), and which certificates an https address must carry.
struct Channel {
  Waiter* waiter = &NoUiWaiter();
  std::chrono::milliseconds wait{};
  Text ca_file;

  Request request(std::string_view url, std::string_view method, std::string_view body) const {
    return {Text(url), Text(method), Text(body), wait, ca_file};
  }
};

// Waits for transfer while waiter pumps: at once when the transfer ends or,
// for a waiter that pumps the thread's message queue, when input arrives. The
// wait counts again from the last time events were handled, but never beyond
// kCeilingFactor times wait from the call; a stop request gives
// Failure::stopped at the latest one waiter.slice() after it.
Response Await(Transfer& transfer, std::chrono::milliseconds wait, Waiter& waiter);
// Starts and awaits one request.
Response Fetch(const Request& request, Waiter& waiter);

}  // namespace quill::net
