#pragma once
// A scripted raw TCP server on 127.0.0.1 for tests: every connection gets its
// own thread, reads one request (head, then as many body bytes as
// Content-Length says) and hands it to the test's handler, which writes raw
// bytes, waits, resets, hangs or does nothing. When the handler returns the
// connection is closed (FIN). The destructor stops everything promptly, also
// handlers that hang or wait and clients that are mid-request.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quill::testing {

// A raw HTTP request split into its parts (for checking what a client sent).
struct RawRequest {
  std::string line;                                          // "POST /router/rest? HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, value without leading spaces
  std::string body;                                          // everything after the blank line

  // Splits raw bytes; without a blank line everything after the first line is headers.
  static RawRequest parse(std::string_view bytes);
  // The first header with this name, compared without case; "" when absent.
  std::string header(std::string_view name) const;
  std::vector<std::string> header_names() const;
};

class LoopbackServer;

// One accepted connection, handed to the handler on the connection's thread.
class LoopbackConnection {
 public:
  // The bytes read before the handler was called; may be partial or empty when
  // the client closed early or the server is stopping.
  const std::string& request() const { return request_; }
  // Sends all bytes; false when the client is gone, the connection was reset
  // or the server is stopping.
  bool send(std::string_view bytes);
  // Aborts the connection: the client sees a reset (SO_LINGER 0 close). Later sends fail.
  void reset();
  // Waits ms milliseconds; returns false at once when the server stops meanwhile.
  bool wait_ms(int ms);
  // Waits until the server stops, without answering.
  void hang();

 private:
  friend class LoopbackServer;
  LoopbackConnection(LoopbackServer& server, int fd) : server_(server), fd_(fd) {}
  LoopbackServer& server_;
  int fd_;
  std::string request_;
};

class LoopbackServer {
 public:
  using Handler = std::function<void(LoopbackConnection&)>;

  // Listens on a free port at once; port() is 0 when it could not listen.
  explicit LoopbackServer(Handler handler);
  // Stops accepting, wakes waiting and hanging handlers, shuts every open
  // connection down and joins all threads.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:port" followed by path.
  std::string url(const std::string& path = "/") const;
  // Every request read so far (raw bytes), in the order the reads finished.
  std::vector<std::string> requests() const;

  // "HTTP/1.1 200 OK" with Content-Length, extra_headers (each ending in CRLF)
  // and Connection: close, then body.
  static std::string ok(std::string_view body, std::string_view extra_headers = "");

 private:
  friend class LoopbackConnection;
  void accept_loop();
  void serve(int fd);
  std::string read_request(int fd);
  bool stopping() const;
  void forget(int fd);

  Handler handler_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};  // signalled once when stopping, so every wait returns
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::vector<int> open_;  // connections not yet closed, to shut down when stopping
  std::vector<std::string> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace quill::testing
