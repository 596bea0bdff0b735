#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "support/loopback_server.h"

namespace quill::testing {
namespace {

// Waits until fd is readable or the wake pipe was written; true for the first.
bool readable(int fd, int wake) {
  pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
  int ready = 0;
  while ((ready = poll(p, 2, -1)) < 0 && errno == EINTR) {
  }
  return ready > 0 && (p[1].revents & POLLIN) == 0;
}

// The byte count after the head that Content-Length announces (0 when absent or malformed).
std::size_t announced_length(std::string_view head) {
  const std::string value = RawRequest::parse(head).header("Content-Length");
  return value.find_first_not_of("0123456789") == std::string::npos ? std::strtoul(value.c_str(), nullptr, 10)
                                                                    : 0;
}

}  // namespace

bool LoopbackConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (fd_ < 0 || server_.stopping()) return false;
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void LoopbackConnection::reset() {
  if (fd_ < 0) return;
  server_.forget(fd_);
  linger abort_on_close{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  close(fd_);
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
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || pipe(wake_) != 0 ||
      bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (wake_[1] >= 0 && write(wake_[1], "x", 1) != 1) std::abort();  // nothing else would end the polls
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
  }
  for (std::thread& connection : connections_) connection.join();
  for (int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
}

void LoopbackServer::accept_loop() {
  while (readable(listener_, wake_[0])) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
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
  shutdown(fd, SHUT_WR);
  close(fd);
}

std::string LoopbackServer::read_request(int fd) {
  std::string data;
  char buffer[65536];
  std::size_t head_end = std::string::npos;
  std::size_t wanted = 0;
  while (head_end == std::string::npos || data.size() < head_end + 4 + wanted) {
    if (!readable(fd, wake_[0])) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
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
