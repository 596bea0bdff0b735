#pragma once
// The worker side of HttpRequest: one transfer on a worker thread (taken from a
// pool of reusable ones). The worker and its owner share a reference-counted
// record, so a worker that outlives its owner only ever touches that record.

#include <chrono>
#include <memory>
#include <string_view>

#include "base/convert.h"

namespace quill {

struct HttpExchange;

class HttpWorker {
 public:
  // Starts the transfer at once. connect_seconds bounds the connection set-up,
  // stall_seconds ends a transfer that moves no data for that long.
  HttpWorker(std::string_view url, bool post, std::string_view body, int connect_seconds, int stall_seconds);
  // Stops an unfinished transfer and waits briefly for it to end; a transfer
  // that does not end promptly is left to finish on its own.
  ~HttpWorker();
  HttpWorker(const HttpWorker&) = delete;
  HttpWorker& operator=(const HttpWorker&) = delete;

  // True once the transfer has finished (successfully or not); waits at most slice.
  bool wait_for(std::chrono::milliseconds slice);
  // The body of a finished, successful transfer; empty otherwise.
  Bytes take_body();

 private:
  std::shared_ptr<HttpExchange> exchange_;
};

}  // namespace quill
