// The loopback server over Winsock. Sockets are kept in the header's int
// fields: Windows hands out small handle values, and INVALID_SOCKET becomes -1.
#include <winsock2.h>
// after winsock2.h
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "support/loopback_server.h"

namespace quill::testing {
namespace {

SOCKET sock(int fd) { return static_cast<SOCKET>(fd); }
int fd_of(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

struct Winsock {
  Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

void close(int fd) { ::closesocket(sock(fd)); }

// Windows has no pipe that poll can watch: the wake "pipe" is a connected
// pair of loopback sockets.
bool socket_pair(int (&ends)[2]) {
  static Winsock started;
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bool ok = listener != INVALID_SOCKET &&
            ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  SOCKET writer = ok ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
  ok =
      ok && writer != INVALID_SOCKET && ::connect(writer, reinterpret_cast<sockaddr*>(&address), length) == 0;
  SOCKET reader = ok ? ::accept(listener, nullptr, nullptr) : INVALID_SOCKET;
  if (listener != INVALID_SOCKET) ::closesocket(listener);
  ends[0] = fd_of(reader);
  ends[1] = fd_of(writer);
  return reader != INVALID_SOCKET && writer != INVALID_SOCKET;
}

// Waits until fd is readable or the wake pipe was written; true for the first.
bool readable(int fd, int wake) {
  WSAPOLLFD p[2] = {{sock(fd), POLLRDNORM, 0}, {sock(wake), POLLRDNORM, 0}};
  const int ready = ::WSAPoll(p, 2, -1);
  return ready > 0 && (p[1].revents & (POLLRDNORM | POLLHUP)) == 0;
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
    const int n =
        ::send(sock(fd_), bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)), 0);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void LoopbackConnection::reset() {
  if (fd_ < 0) return;
  server_.forget(fd_);
  linger abort_on_close{1, 0};
  ::setsockopt(sock(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_on_close),
               sizeof abort_on_close);
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
  const bool woken = socket_pair(wake_);
  listener_ = fd_of(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (listener_ < 0 || !woken ||
      ::bind(sock(listener_), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(sock(listener_), 64) != 0 ||
      ::getsockname(sock(listener_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
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
  if (wake_[1] >= 0 && ::send(sock(wake_[1]), "x", 1, 0) != 1)
    std::abort();  // nothing else would end the polls
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) ::shutdown(sock(fd), SD_BOTH);
  }
  for (std::thread& connection : connections_) connection.join();
  for (int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
}

void LoopbackServer::accept_loop() {
  while (readable(listener_, wake_[0])) {
    const int fd = fd_of(::accept(sock(listener_), nullptr, nullptr));
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
  ::shutdown(sock(fd), SD_SEND);
  close(fd);
}

std::string LoopbackServer::read_request(int fd) {
  std::string data;
  char buffer[65536];
  std::size_t head_end = std::string::npos;
  std::size_t wanted = 0;
  while (head_end == std::string::npos || data.size() < head_end + 4 + wanted) {
    if (!readable(fd, wake_[0])) break;
    const int n = ::recv(sock(fd), buffer, sizeof buffer, 0);
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
