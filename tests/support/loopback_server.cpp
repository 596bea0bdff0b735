// The loopback server above the socket islands: threads, stopping, request
// reading and parsing, the canned answer.
#include "support/loopback_server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

#include "support/loopback_socket.h"

namespace quill::testing {
namespace {

bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// The byte count after the head that Content-Length announces (0 when absent or malformed).
std::size_t announced_length(std::string_view head) {
  const std::string value = RawRequest::parse(head).header("Content-Length");
  return value.find_first_not_of("0123456789") == std::string::npos ? std::strtoul(value.c_str(), nullptr, 10)
                                                                    : 0;
}

}  // namespace

namespace sockets = loopback_socket;

RawRequest RawRequest::parse(std::string_view bytes) {
  RawRequest request;
  const std::size_t head_end = bytes.find("\r\n\r\n");
  const std::string_view head = bytes.substr(0, head_end);
  if (head_end != std::string_view::npos) request.body = bytes.substr(head_end + 4);
  std::size_t start = 0;
  for (bool first = true; start <= head.size(); first = false) {
    const std::size_t end = std::min(head.find("\r\n", start), head.size());
    const std::string_view line = head.substr(start, end - start);
    start = end + 2;
    if (first) {
      request.line = line;
      continue;
    }
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    const std::size_t value =
        line.find_first_not_of(' ', colon == std::string_view::npos ? line.size() : colon + 1);
    request.headers.emplace_back(line.substr(0, colon),
                                 value == std::string_view::npos ? std::string_view() : line.substr(value));
  }
  return request;
}

std::string RawRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (same_name(key, name)) return value;
  }
  return {};
}

std::vector<std::string> RawRequest::header_names() const {
  std::vector<std::string> names;
  for (const auto& header : headers) names.push_back(header.first);
  return names;
}

std::string LoopbackServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string LoopbackServer::ok(std::string_view body, std::string_view extra_headers) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         std::string(extra_headers) + "Connection: close\r\n\r\n" + std::string(body);
}

bool LoopbackConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (fd_ < 0 || server_.stopping()) return false;
    const long n = sockets::send_some(fd_, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void LoopbackConnection::reset() {
  if (fd_ < 0) return;
  server_.forget(fd_);
  sockets::close_with_reset(fd_);
  fd_ = -1;
}

bool LoopbackConnection::wait_ms(int ms) {
  std::unique_lock lock(server_.mutex_);
  return !server_.stopped_.wait_for(lock, std::chrono::milliseconds(ms),
                                    [this] { return server_.stopping_; });
}

void LoopbackConnection::hang() {
  std::unique_lock lock(server_.mutex_);
  server_.stopped_.wait(lock, [this] { return server_.stopping_; });
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  if (!sockets::make_wake(wake_)) return;
  listener_ = sockets::listen_on_free_port(port_);
  if (listener_ >= 0) acceptor_ = std::thread([this] { accept_loop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (wake_[1] >= 0) sockets::signal_wake(wake_[1]);
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) sockets::shut_down(fd);
  }
  for (std::thread& connection : connections_) connection.join();
  for (int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) sockets::close_socket(fd);
  }
}

void LoopbackServer::accept_loop() {
  while (sockets::wait_readable(listener_, wake_[0])) {
    const int fd = sockets::accept_connection(listener_);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    open_.push_back(fd);
    connections_.emplace_back([this, fd] { serve(fd); });
  }
}

void LoopbackServer::serve(int fd) {
  LoopbackConnection connection(*this, fd);
  connection.request_ = read_request(fd);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(connection.request_);
  }
  if (!stopping()) handler_(connection);
  if (connection.fd_ < 0) return;
  forget(fd);
  sockets::close_after_sending(fd);
}

std::string LoopbackServer::read_request(int fd) {
  std::string data;
  char buffer[65536];
  std::size_t head_end = std::string::npos;
  std::size_t wanted = 0;
  while (head_end == std::string::npos || data.size() < head_end + 4 + wanted) {
    if (!sockets::wait_readable(fd, wake_[0])) break;
    const long n = sockets::receive_some(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
    if (head_end == std::string::npos && (head_end = data.find("\r\n\r\n")) != std::string::npos)
      wanted = announced_length(std::string_view(data).substr(0, head_end));
  }
  return data;
}

bool LoopbackServer::stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void LoopbackServer::forget(int fd) {
  std::lock_guard lock(mutex_);
  open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
}

}  // namespace quill::testing
