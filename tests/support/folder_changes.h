#pragma once
// Waiting for another process to write into a folder, woken by the system's
// own change notifications (one island per platform) instead of looking again
// and again.

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace quill::testing {

class FolderChanges {
 public:
  // Watches folder from now on; a folder that cannot be watched never reports.
  explicit FolderChanges(const std::filesystem::path& folder);
  ~FolderChanges();
  FolderChanges(const FolderChanges&) = delete;
  FolderChanges& operator=(const FolderChanges&) = delete;

  // Waits up to wait for a change since the last call; false when none came.
  bool wait(std::chrono::milliseconds wait);

 private:
  std::intptr_t handle_ = -1;  // a descriptor, a HANDLE on Windows
};

}  // namespace quill::testing
