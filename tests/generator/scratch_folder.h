#pragma once
// A folder of real files for one test, unique per test and removed afterwards.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/codepage.h"
#include "base/text.h"

namespace quill::testing {

class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("quill-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder (or a UTF-8 relative path in it) as a GBK text for the program.
  Text gbk_path(const std::string& relative_utf8 = "") const {
    return utf8_to_gbk(relative_utf8.empty() ? path_.string() : (path_ / relative_utf8).string());
  }
  std::filesystem::path operator/(const std::string& relative_utf8) const { return path_ / relative_utf8; }

 private:
  std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace quill::testing
