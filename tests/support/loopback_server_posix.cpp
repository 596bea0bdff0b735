#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/loopback_socket.h"

namespace quill::testing::loopback_socket {

int listen_on_free_port(int& port) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0) return -1;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener);
    return -1;
  }
  port = ntohs(address.sin_port);
  return listener;
}

bool make_wake(int (&ends)[2]) { return pipe2(ends, O_CLOEXEC) == 0; }

void signal_wake(int write_end) {
  if (write(write_end, "x", 1) != 1) std::abort();  // nothing else would end the waits
}

bool wait_readable(int fd, int wake) {
  pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
  int ready = 0;
  while ((ready = poll(p, 2, -1)) < 0 && errno == EINTR) {
  }
  return ready > 0 && (p[1].revents & POLLIN) == 0;
}

int accept_connection(int listener) { return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

long send_some(int fd, const char* bytes, std::size_t size) { return ::send(fd, bytes, size, MSG_NOSIGNAL); }

long receive_some(int fd, char* buffer, std::size_t size) { return recv(fd, buffer, size, 0); }

void close_with_reset(int fd) {
  linger abort_on_close{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  close(fd);
}

void close_after_sending(int fd) {
  shutdown(fd, SHUT_WR);
  close(fd);
}

void shut_down(int fd) { shutdown(fd, SHUT_RDWR); }

void close_socket(int fd) { close(fd); }

}  // namespace quill::testing::loopback_socket
