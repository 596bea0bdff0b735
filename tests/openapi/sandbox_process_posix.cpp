#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sandbox_process.h"

namespace quill::testing {

SandboxProcess::SandboxProcess(std::vector<std::string> options) {
  char pattern[] = "/tmp/quill-sandbox-XXXXXX";
  if (!mkdtemp(pattern)) return;
  folder_ = pattern;
  std::string port_file = folder_ + "/port";
  std::vector<std::string> args = {QUILL_SANDBOX_BINARY, "--port", "0", "--port-file", port_file,
                                   "--log", folder_ + "/requests.log"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;  // built before fork: the child only execs
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  for (int i = 0; i < 400 && port_ == 0; ++i) {
    std::ifstream in(port_file);
    int port = 0;
    if (in >> port) port_ = port;
    else std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

SandboxProcess::~SandboxProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

std::string SandboxProcess::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> SandboxProcess::log_lines() const {
  std::vector<std::string> lines;
  std::ifstream in(folder_ + "/requests.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace quill::testing
