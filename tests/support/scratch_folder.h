#pragma once
// A folder of real files for one test, unique per test and removed afterwards.

#include <filesystem>
#include <string>

#include "base/text.h"

namespace quill::testing {

// A UTF-8 path as the file system library takes it on every platform (a plain
// string would be read in Windows' ANSI code page).
inline std::filesystem::path utf8_path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

class ScratchFolder {
 public:
  // Throws std::filesystem::filesystem_error when the temp folder is unusable.
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder (or a UTF-8 relative path in it) as a GBK text for the program.
  Text gbk_path(const std::string& relative_utf8 = "") const;
  std::filesystem::path operator/(const std::string& relative_utf8) const {
    return path_ / utf8_path(relative_utf8);
  }

 private:
  std::filesystem::path path_;
};

// Creates the parent folders; a failed write leaves whatever the stream managed.
void write_file(const std::filesystem::path& path, const std::string& bytes);
// The file's bytes, or "" when it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace quill::testing
