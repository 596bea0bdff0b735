#pragma once
// Inside the transport: the record a caller and the engine thread share. The
// engine only ever touches the record, which it co-owns, so an abandoned
// transfer can finish after its caller is gone.

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

#include "base/completion.h"
#include "net/http.h"

namespace quill::net {

struct Exchange {
  Request request;
  std::atomic<bool> abandoned{false};

  std::mutex mutex;
  bool finished = false;
  Response response;
  Completion done;  // raised once response holds the outcome

  // Keeps the first outcome only.
  void finish(Response outcome);
};

// The body bytes one transfer holds against kMaxBytesInFlight, given back
// when it is destroyed.
class BytesInFlight {
 public:
  BytesInFlight() = default;
  ~BytesInFlight();
  BytesInFlight(const BytesInFlight&) = delete;
  BytesInFlight& operator=(const BytesInFlight&) = delete;
  // Takes count more bytes; false, taking nothing, when the bound would be passed.
  bool take(std::size_t count);
  // Gives back all it holds, for the body it was taken for is dropped.
  void give_back();

 private:
  std::size_t held_ = 0;
};

// Hands a transfer to the engine thread (started on first use, stopped and
// joined at exit); an exchange the engine cannot take finishes at once.
void StartTransfer(std::shared_ptr<Exchange> exchange);
// Asks the engine to drop the transfer; returns at once.
void AbandonTransfer(const std::shared_ptr<Exchange>& exchange);

}  // namespace quill::net
