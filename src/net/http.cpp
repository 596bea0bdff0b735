#include "net/http.h"

#include <algorithm>

#include "base/codepage.h"
#include "net/http_engine.h"

namespace quill::net {
namespace {

bool has_web_scheme(std::string_view url) {
  const Text lower = txt_lower(txt_left(url, 8));
  return lower.starts_with("http://") || lower.starts_with("https://");
}

bool is_sendable(const Request& request) {
  const Text verb = txt_upper(request.method);
  const bool known = verb.empty() || verb == "GET" || verb == "POST";
  // A NUL would end the URL early inside curl and send something else.
  return known && has_web_scheme(request.url) && request.wait.count() > 0 &&
         request.url.find('\0') == Text::npos;
}

}  // namespace

Text FailureText(Failure failure) {
  switch (failure) {
    case Failure::none:
      return {};
    case Failure::bad_request:
      return gbk("请求无效");
    case Failure::refused:
      return gbk("连接被拒绝");
    case Failure::timed_out:
      return gbk("超时");
    case Failure::cut_off:
      return gbk("连接中断");
    case Failure::too_large:
      return gbk("回答过大");
    case Failure::tls:
      return gbk("安全连接失败");
    case Failure::stopped:
      return gbk("已中断");
    case Failure::other:
      break;
  }
  return gbk("网络错误");
}

namespace {
std::atomic<std::size_t> bytes_in_flight{0};
}  // namespace

BytesInFlight::~BytesInFlight() { give_back(); }

void BytesInFlight::give_back() {
  bytes_in_flight -= held_;
  held_ = 0;
}

bool BytesInFlight::take(std::size_t count) {
  std::size_t held = bytes_in_flight.load();
  do {
    if (count > kMaxBytesInFlight - held) return false;
  } while (!bytes_in_flight.compare_exchange_weak(held, held + count));
  held_ += count;
  return true;
}

void Exchange::finish(Response outcome) {
  {
    std::lock_guard lock(mutex);
    if (finished) return;
    response = std::move(outcome);
    finished = true;
  }
  done.signal();
}

Transfer::Transfer(const Request& request) : exchange_(std::make_shared<Exchange>()) {
  exchange_->request = request;
  if (!is_sendable(request)) {
    exchange_->finish({{}, 0, Failure::bad_request});
    return;
  }
  StartTransfer(exchange_);
}

Transfer::~Transfer() {
  if (exchange_ && !wait_for(std::chrono::milliseconds(0))) AbandonTransfer(exchange_);
}

Transfer::Transfer(Transfer&&) noexcept = default;

Transfer& Transfer::operator=(Transfer&& other) noexcept {
  if (this != &other) {
    if (exchange_ && !wait_for(std::chrono::milliseconds(0))) AbandonTransfer(exchange_);
    exchange_ = std::move(other.exchange_);
  }
  return *this;
}

bool Transfer::wait_for(std::chrono::milliseconds slice, const Waiter& waiter) {
  return exchange_->done.wait_for(slice, waiter.pumps_message_queue());
}

Response Transfer::take() {
  std::lock_guard lock(exchange_->mutex);
  if (!exchange_->finished) return {{}, 0, Failure::other};
  return std::move(exchange_->response);
}

Response Await(Transfer& transfer, std::chrono::milliseconds wait, Waiter& waiter) {
  const auto started = waiter.now();
  const auto ceiling = started + wait * kCeilingFactor;
  auto deadline = started + wait;
  for (;;) {
    if (transfer.wait_for(waiter.slice(), waiter)) return transfer.take();
    const bool pumped = waiter.pump();
    if (waiter.stop_requested()) return {{}, 0, Failure::stopped};
    const auto now = waiter.now();
    if (pumped) deadline = now + wait;
    if (now >= std::min(deadline, ceiling)) return {{}, 0, Failure::timed_out};
  }
}

Response Fetch(const Request& request, Waiter& waiter) {
  Transfer transfer(request);
  return Await(transfer, request.wait, waiter);
}

}  // namespace quill::net
