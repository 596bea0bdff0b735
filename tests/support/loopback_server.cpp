// The platform-neutral parts of the loopback server: request parsing and the
// canned answer.
#include "support/loopback_server.h"

#include <algorithm>
#include <cctype>

namespace quill::testing {
namespace {

bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

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

}  // namespace quill::testing
