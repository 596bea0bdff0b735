#pragma once
// quillmoor-sandbox started for one fixture on a free loopback port and stopped
// with it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "generator/scratch_folder.h"

extern char** environ;

namespace quill::testing {

class SandboxProcess {
 public:
  explicit SandboxProcess(std::vector<std::string> extra = {}) {
    const std::string port_file = (folder_ / "port").string();
    std::vector<std::string> args{QUILL_SANDBOX_PATH, "--port", "0", "--port-file", port_file, "--log",
                                  (folder_ / "log.jsonl").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start the sandbox");
    for (int i = 0; i < 400 && port_ == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const std::string text = read_file(port_file);
      if (!text.empty() && text.back() == '\n') port_ = std::stoi(text);
    }
    if (port_ == 0) throw std::runtime_error("the sandbox did not announce its port");
  }
  ~SandboxProcess() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  SandboxProcess(const SandboxProcess&) = delete;
  SandboxProcess& operator=(const SandboxProcess&) = delete;

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  // The request log, one JSON object a line.
  std::string log() const { return read_file(folder_ / "log.jsonl"); }

 private:
  ScratchFolder folder_;
  pid_t pid_ = 0;
  int port_ = 0;
};

}  // namespace quill::testing
