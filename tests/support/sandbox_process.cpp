#include "support/sandbox_process.h"

#include <chrono>
#include <sstream>
#include <thread>

namespace quill::testing {

namespace {

// The announced port once the sandbox wrote the whole line, else 0.
int announced_port(const std::filesystem::path& port_file) {
  const std::string text = read_file(port_file);
  if (text.empty() || text.back() != '\n') return 0;
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

int SandboxProcess::wait_for_port(const std::filesystem::path& port_file) {
  int port = 0;
  for (int i = 0; i < 400 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    port = announced_port(port_file);
  }
  return port;
}

std::string SandboxProcess::url(const std::string& path) const {
  return (tls_ ? "https://" : "http://") + host() + path;
}

std::vector<std::string> SandboxProcess::log_lines() const {
  std::vector<std::string> lines;
  std::istringstream in(log());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace quill::testing
