// The wait of a window's thread on Windows: input for the thread and the end
// of a transfer wake it at once, whatever the slice it was given.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>

#include "net/http.h"
#include "support/loopback_server.h"

namespace quill::net {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackConnection;
using testing::LoopbackServer;
using Clock = std::chrono::steady_clock;

constexpr UINT kPoke = WM_APP + 7;
// Far longer than any wake may take, far shorter than the slices waited on.
constexpr auto kPrompt = 10s;
constexpr auto kLongSlice = 60s;

// Pumps this thread's message queue as the window does, counting pokes.
class QueuePump final : public Waiter {
 public:
  QueuePump() {
    MSG message;
    // The queue exists before anyone posts to it.
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  }
  bool pump() override {
    bool handled = false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      handled = true;
      if (message.message == kPoke) ++pokes;
    }
    return handled;
  }
  bool stop_requested() const override { return pokes >= stop_after_pokes; }
  bool pumps_message_queue() const override { return true; }

  int pokes = 0;
  int stop_after_pokes = 1 << 30;
};

// A server that pokes the given thread once a request has arrived, then
// answers with body or, when body is empty, never.
LoopbackServer::Handler poke_then(DWORD thread, std::string body) {
  return [thread, body](LoopbackConnection& connection) {
    if (!::PostThreadMessageW(thread, kPoke, 0, 0)) return;
    if (body.empty()) return connection.hang();
    connection.send(LoopbackServer::ok(body));
  };
}

TEST(WindowThreadWait, InputEndsAWaitOnAHangingTransferAtOnce) {
  QueuePump window;
  LoopbackServer server(poke_then(::GetCurrentThreadId(), ""));
  Transfer transfer({server.url("/"), "", "", 120s, {}});
  const auto start = Clock::now();
  while (window.pokes == 0 && Clock::now() - start < kPrompt) {
    EXPECT_FALSE(transfer.wait_for(kLongSlice, window));
    window.pump();
  }
  EXPECT_EQ(window.pokes, 1);
  EXPECT_LT(Clock::now() - start, kPrompt);
}

TEST(WindowThreadWait, TheEndOfATransferEndsAWaitAtOnce) {
  QueuePump window;
  LoopbackServer server([](LoopbackConnection& connection) { connection.send(LoopbackServer::ok("done")); });
  Transfer transfer({server.url("/"), "", "", 120s, {}});
  const auto start = Clock::now();
  // Other input may end a wait early: it is pumped and the wait goes on.
  while (!transfer.wait_for(kLongSlice, window) && Clock::now() - start < kPrompt) window.pump();
  EXPECT_LT(Clock::now() - start, kPrompt);
  const Response response = transfer.take();
  EXPECT_EQ(std::string(response.body.begin(), response.body.end()), "done");
}

TEST(WindowThreadWait, AwaitPumpsInputAsItComesAndStopsWhenItsHandlerSaysSo) {
  QueuePump window;
  window.stop_after_pokes = 1;  // as a close of the window stops its run
  LoopbackServer server(poke_then(::GetCurrentThreadId(), ""));
  const auto start = Clock::now();
  EXPECT_EQ(Fetch({server.url("/"), "", "", 120s, {}}, window).failure, Failure::stopped);
  EXPECT_EQ(window.pokes, 1);
  EXPECT_LT(Clock::now() - start, kPrompt);
}

TEST(WindowThreadWait, RestOfAQueuePumpEndsWithInput) {
  QueuePump window;
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), kPoke, 0, 0));
  const auto start = Clock::now();
  window.rest(std::chrono::duration_cast<std::chrono::milliseconds>(kLongSlice));
  EXPECT_LT(Clock::now() - start, kPrompt);
  EXPECT_TRUE(window.pump());
  EXPECT_EQ(window.pokes, 1);
}

}  // namespace
}  // namespace quill::net
