#include "support/sandbox_process.h"

#include <chrono>
#include <sstream>

#include "support/folder_changes.h"

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

int WaitForAnnouncedPort(const std::filesystem::path& port_file) {
  using Clock = std::chrono::steady_clock;
  // Watching starts before the first look, so a write between them still wakes the wait.
  // A loaded machine may take its time starting a process (Wine's all the more);
  // one that never announces is given up after half a minute.
  FolderChanges changes(port_file.parent_path());
  const auto until = Clock::now() + std::chrono::seconds(30);
  for (;;) {
    if (const int port = announced_port(port_file)) return port;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0 || !changes.wait(left)) return 0;
  }
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
