#include "drop_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace sandbox {
namespace {

// A listening socket on 127.0.0.1:port, -1 when it cannot listen; port gets the chosen one.
int listen_on_loopback(int& port) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) return -1;
  int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 16) != 0) {
    close(listener);
    return -1;
  }
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}

std::string header_of(const RawRequest& request, const char* name) {
  for (const auto& [key, value] : request.headers) {
    if (strcasecmp(key.c_str(), name) == 0) return value;
  }
  return {};
}

void parse_head(const std::string& head, RawRequest& request) {
  std::size_t line_end = head.find("\r\n");
  const std::string line = head.substr(0, line_end);
  const std::size_t space = line.find(' ');
  request.method = line.substr(0, space);
  if (space != std::string::npos) request.target = line.substr(space + 1, line.rfind(' ') - space - 1);
  while (line_end != std::string::npos && line_end + 2 < head.size()) {
    const std::size_t next = head.find("\r\n", line_end + 2);
    const std::string header = head.substr(line_end + 2, next - line_end - 2);
    const std::size_t colon = header.find(':');
    if (colon != std::string::npos) {
      const std::size_t value = header.find_first_not_of(' ', colon + 1);
      request.headers.emplace_back(header.substr(0, colon),
                                   value == std::string::npos ? "" : header.substr(value));
    }
    line_end = next;
  }
}

// The request head and Content-Length body; false when the client went quiet or away first.
bool read_request(int client, RawRequest& request) {
  std::string data;
  char buffer[65536];
  std::size_t head_end = std::string::npos;
  std::size_t wanted = 0;
  while (head_end == std::string::npos || data.size() < head_end + 4 + wanted) {
    pollfd p{client, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(n));
    if (head_end == std::string::npos && (head_end = data.find("\r\n\r\n")) != std::string::npos) {
      parse_head(data.substr(0, head_end + 2), request);
      wanted = std::strtoul(header_of(request, "Content-Length").c_str(), nullptr, 10);
    }
  }
  request.body = data.substr(head_end + 4, wanted);
  return true;
}

void send_all(int client, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void close_with_reset(int client) {
  linger abort_on_close{1, 0};
  setsockopt(client, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  close(client);
}

}  // namespace

int run_dropping_listener(int port, const std::function<void(int)>& announce) {
  int listener = listen_on_loopback(port);
  if (listener < 0) return 1;
  announce(port);
  for (;;) {
    int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    char buffer[4096];
    recv(client, buffer, sizeof buffer, 0);
    close(client);
  }
}

int run_resetting_listener(int port, const std::function<void(int)>& announce,
                           const std::function<std::string(const RawRequest&)>& answer) {
  int listener = listen_on_loopback(port);
  if (listener < 0) return 1;
  announce(port);
  for (;;) {
    int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    RawRequest request;
    if (read_request(client, request)) {
      const std::string body = answer(request);
      send_all(client, "HTTP/1.1 200 OK\r\nContent-Type: text/xml;charset=UTF-8\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, body.size() / 2));
    }
    close_with_reset(client);
  }
}

void exit_on_termination_signal(std::function<void()> before_exit) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, before_exit = std::move(before_exit)] {
    int received = 0;
    sigwait(&signals, &received);
    before_exit();
    std::_Exit(0);
  }).detach();
}

void exit_when_lease_ends(const std::string& path, std::function<void()> before_exit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::thread([fd, before_exit = std::move(before_exit)] {
    for (;;) {
      struct flock probe {};
      probe.l_type = F_WRLCK;
      probe.l_whence = SEEK_SET;
      probe.l_len = 1;
      if (fd < 0 || ::fcntl(fd, F_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) break;
      // A starter's last act is letting go; a twentieth of a second later is soon enough.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    before_exit();
    std::_Exit(0);
  }).detach();
}

}  // namespace sandbox
