#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "support/sandbox_process.h"

extern char** environ;

namespace quill::testing {

bool SandboxProcess::available() { return true; }

SandboxProcess::SandboxProcess(std::vector<std::string> options) {
  const std::filesystem::path port_file = folder_ / "port";
  const std::filesystem::path lease_file = folder_ / "lease";
  // Locks die with the process that holds them, and a child does not inherit them.
  const int lease = ::open(lease_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  struct flock hold {};
  hold.l_type = F_WRLCK;
  hold.l_whence = SEEK_SET;
  hold.l_len = 1;
  if (lease < 0 || ::fcntl(lease, F_SETLK, &hold) != 0) {
    if (lease >= 0) ::close(lease);
    return;
  }
  lease_ = lease;
  std::vector<std::string> args{QUILL_SANDBOX_PATH,  "--port",           "0",
                                "--port-file",       port_file.string(), "--log",
                                log_path().string(), "--lease-file",     lease_file.string()};
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
  port_ = wait_for_port(port_file);
}

SandboxProcess::~SandboxProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (lease_ >= 0) ::close(static_cast<int>(lease_));
}

}  // namespace quill::testing
