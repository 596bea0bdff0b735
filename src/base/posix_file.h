#pragma once
// What the POSIX islands of every module share: an owned file descriptor, and
// the temporary file an atomic write starts from. Included only by *_posix.cpp.

#include <unistd.h>

#include <string>
#include <utility>

namespace quill::posix {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and tells whether the close succeeded.
  bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

// A fresh file (never a link) beside target, named ".qm-<pid>-<n>.tmp", short
// whatever the target's name; its path goes to temp_path. The first call for a
// folder removes the leftovers of writers that no longer run. -1 and errno on
// failure.
int create_temp_beside(const std::string& target, std::string& temp_path);

}  // namespace quill::posix
