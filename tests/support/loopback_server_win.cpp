#include <winsock2.h>
// after winsock2.h
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>

#include "support/loopback_socket.h"

namespace quill::testing::loopback_socket {
namespace {

SOCKET sock(int fd) { return static_cast<SOCKET>(fd); }
int fd_of(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

void start_winsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

sockaddr_in loopback_any_port() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

int listen_on_free_port(int& port) {
  start_winsock();
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback_any_port();
  int length = sizeof address;
  if (listener == INVALID_SOCKET) return -1;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 64) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(listener);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd_of(listener);
}

// Windows has no pipe that WSAPoll can watch: the wake pair is a connected
// pair of loopback sockets.
bool make_wake(int (&ends)[2]) {
  int port = 0;
  const int listener = listen_on_free_port(port);
  if (listener < 0) return false;
  sockaddr_in address = loopback_any_port();
  address.sin_port = htons(static_cast<u_short>(port));
  SOCKET writer = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const bool connected = writer != INVALID_SOCKET &&
                         ::connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  SOCKET reader = connected ? ::accept(sock(listener), nullptr, nullptr) : INVALID_SOCKET;
  ::closesocket(sock(listener));
  ends[0] = fd_of(reader);
  ends[1] = fd_of(writer);
  return reader != INVALID_SOCKET && writer != INVALID_SOCKET;
}

void signal_wake(int write_end) {
  if (::send(sock(write_end), "x", 1, 0) != 1) std::abort();  // nothing else would end the waits
}

bool wait_readable(int fd, int wake) {
  WSAPOLLFD p[2] = {{sock(fd), POLLRDNORM, 0}, {sock(wake), POLLRDNORM, 0}};
  const int ready = ::WSAPoll(p, 2, -1);
  return ready > 0 && (p[1].revents & (POLLRDNORM | POLLHUP)) == 0;
}

int accept_connection(int listener) { return fd_of(::accept(sock(listener), nullptr, nullptr)); }

long send_some(int fd, const char* bytes, std::size_t size) {
  return ::send(sock(fd), bytes, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}

long receive_some(int fd, char* buffer, std::size_t size) {
  return ::recv(sock(fd), buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}

void close_with_reset(int fd) {
  linger abort_on_close{1, 0};
  ::setsockopt(sock(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_on_close),
               sizeof abort_on_close);
  ::closesocket(sock(fd));
}

void close_after_sending(int fd) {
  ::shutdown(sock(fd), SD_SEND);
  ::closesocket(sock(fd));
}

void shut_down(int fd) { ::shutdown(sock(fd), SD_BOTH); }

void close_socket(int fd) { ::closesocket(sock(fd)); }

}  // namespace quill::testing::loopback_socket
