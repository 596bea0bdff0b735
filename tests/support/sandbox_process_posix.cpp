#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "support/folder_changes.h"
#include "support/sandbox_process.h"

extern char** environ;

namespace quill::testing {

FolderChanges::FolderChanges(const std::filesystem::path& folder) {
  const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch < 0) return;
  if (::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY) < 0) {
    ::close(watch);
    return;
  }
  handle_ = watch;
}

FolderChanges::~FolderChanges() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool FolderChanges::wait(std::chrono::milliseconds wait) {
  if (handle_ < 0) return false;
  pollfd watch{static_cast<int>(handle_), POLLIN, 0};
  if (::poll(&watch, 1, static_cast<int>(wait.count())) <= 0) return false;
  char events[4096];
  while (::read(static_cast<int>(handle_), events, sizeof events) > 0) {
  }
  return true;
}

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
  port_ = WaitForAnnouncedPort(port_file);
}

SandboxProcess::~SandboxProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (lease_ >= 0) ::close(static_cast<int>(lease_));
}

}  // namespace quill::testing
