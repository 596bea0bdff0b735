#pragma once
// A loopback HTTP server that hands each request to the test as raw bytes and
// answers with raw bytes, so header order and framing can be checked exactly.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quill::testing {

struct RawReply {
  std::string bytes;  // written as they are
  int delay_ms = 0;   // before answering
  bool drop = false;  // close without a byte of answer
};

class RawServer {
 public:
  using Handler = std::function<RawReply(const std::string& request)>;
  explicit RawServer(Handler handler);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  // Every request received so far, head and body.
  std::vector<std::string> requests() const;

  // "HTTP/1.1 200 OK" with Content-Length and Connection: close.
  static std::string ok(const std::string& body, const std::string& extra_headers = "");

 private:
  void serve();
  void handle(int client);

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::thread> clients_;
  std::thread thread_;
};

// Names of the header lines of a raw request, in order.
std::vector<std::string> header_names(const std::string& request);
// The value of the first header with this name ("" when absent).
std::string header_value(const std::string& request, const std::string& name);
std::string request_line(const std::string& request);
std::string request_body(const std::string& request);

}  // namespace quill::testing
