#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "support/sandbox_process.h"

extern char** environ;

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

SandboxProcess::SandboxProcess(std::vector<std::string> options) {
  const std::filesystem::path port_file = folder_ / "port";
  std::vector<std::string> args{QUILL_SANDBOX_PATH, "--port", "0", "--port-file", port_file.string(), "--log",
                                log_path().string()};
  args.insert(args.end(), options.begin(), options.end());
  const auto given = [&](const char* option) {
    return std::find(options.begin(), options.end(), option) != options.end();
  };
  tls_ = given("--tls");
  if (tls_ && !given("--cert-file")) {
    args.push_back("--cert-file");
    args.push_back(certificate_path().string());
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return;
  pid_ = pid;
  for (int i = 0; i < 400 && port_ == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    port_ = announced_port(port_file);
  }
}

SandboxProcess::~SandboxProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
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
