#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

#include "raw_server.h"

namespace quill::testing {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Head up to the blank line, then as many body bytes as Content-Length says.
std::string read_request(int client) {
  std::string data;
  char buffer[65536];
  std::size_t head_end = std::string::npos;
  std::size_t wanted = 0;
  for (;;) {
    if (head_end != std::string::npos && data.size() >= head_end + 4 + wanted) break;
    pollfd p{client, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) break;
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
    if (head_end == std::string::npos && (head_end = data.find("\r\n\r\n")) != std::string::npos) {
      std::string length = header_value(data.substr(0, head_end + 2), "Content-Length");
      wanted = length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
    }
  }
  return data;
}

void send_all(int client, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 16);
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

RawServer::~RawServer() {
  stop_ = true;
  thread_.join();
  for (std::thread& t : clients_) t.join();
  close(listener_);
}

std::string RawServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string RawServer::ok(const std::string& body, const std::string& extra_headers) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra_headers +
         "Connection: close\r\n\r\n" + body;
}

void RawServer::serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    clients_.emplace_back([this, client] { handle(client); });
  }
}

void RawServer::handle(int client) {
  std::string request = read_request(client);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  RawReply reply = handler_(request);
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delay_ms);
  while (!stop_ && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (!reply.drop && !stop_) send_all(client, reply.bytes);
  shutdown(client, SHUT_WR);
  close(client);
}

std::vector<std::string> header_names(const std::string& request) {
  std::vector<std::string> names;
  std::size_t end = request.find("\r\n\r\n");
  std::size_t pos = request.find("\r\n");
  while (pos != std::string::npos && pos < end) {
    std::size_t next = request.find("\r\n", pos + 2);
    std::string line = request.substr(pos + 2, next - pos - 2);
    names.push_back(line.substr(0, line.find(':')));
    pos = next;
  }
  return names;
}

std::string header_value(const std::string& request, const std::string& name) {
  std::string wanted = "\r\n" + lower(name) + ":";
  std::string head = lower(request.substr(0, request.find("\r\n\r\n") + 2));
  std::size_t at = head.find(wanted);
  if (at == std::string::npos) return {};
  std::size_t start = at + wanted.size();
  std::size_t end = request.find("\r\n", start);
  std::string value = request.substr(start, end - start);
  while (!value.empty() && value.front() == ' ') value.erase(0, 1);
  return value;
}

std::string request_line(const std::string& request) { return request.substr(0, request.find("\r\n")); }

std::string request_body(const std::string& request) {
  std::size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : request.substr(end + 4);
}

}  // namespace quill::testing
