// Loaded into the batch tool with LD_PRELOAD by the kill test: counts the
// writes, fsyncs and renames of files under QUILL_CRASH_FOLDER and kills the
// process with SIGKILL at the one numbered QUILL_CRASH_AT, a write half-way
// through. With QUILL_CRASH_TRACE it writes the kinds it saw ("w", "f", "r",
// in order) to that file at exit. The program itself knows nothing of it.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

const std::string& folder() {
  static const std::string path = environment("QUILL_CRASH_FOLDER");
  return path;
}

bool under_folder(const std::string& path) {
  return !folder().empty() && path.compare(0, folder().size(), folder()) == 0 &&
         (path.size() == folder().size() || path[folder().size()] == '/');
}

std::string path_of(int fd) {
  char link[64], target[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Relative paths name places in the working folder, which getcwd gives resolved.
std::string absolute(const char* path) {
  if (path[0] == '/') return path;
  char here[PATH_MAX];
  return ::getcwd(here, sizeof here) ? std::string(here) + "/" + path : std::string(path);
}

char trace[1 << 16];
std::atomic<std::size_t> seen{0};

// Counts an operation under the folder; true when it is the one to crash at.
bool crash_here(bool under, char kind) {
  if (!under) return false;
  static const long crash_at = std::atol(environment("QUILL_CRASH_AT").c_str());
  const std::size_t number = ++seen;
  if (number <= sizeof trace) trace[number - 1] = kind;
  return static_cast<long>(number) == crash_at;
}

[[noreturn]] void crash() {
  ::kill(::getpid(), SIGKILL);
  for (;;) ::pause();
}

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

__attribute__((destructor)) void write_trace() {
  const std::string file = environment("QUILL_CRASH_TRACE");
  if (file.empty()) return;
  if (std::FILE* out = std::fopen(file.c_str(), "w")) {
    std::fwrite(trace, 1, std::min(seen.load(), sizeof trace), out);
    std::fclose(out);
  }
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
  if (fd > STDERR_FILENO && crash_here(under_folder(path_of(fd)), 'w')) {
    next(fd, data, size / 2);
    crash();
  }
  return next(fd, data, size);
}

extern "C" int fsync(int fd) {
  static const auto next = real<int (*)(int)>("fsync");
  if (crash_here(under_folder(path_of(fd)), 'f')) crash();
  return next(fd);
}

extern "C" int rename(const char* from, const char* to) {
  static const auto next = real<int (*)(const char*, const char*)>("rename");
  if (crash_here(under_folder(absolute(to)), 'r')) crash();
  return next(from, to);
}
