#include "support/scratch_folder.h"

#include <fstream>
#include <iterator>
#include <random>

#include "base/codepage.h"

namespace quill::testing {

namespace fs = std::filesystem;

namespace {

// A name nobody holds yet: create_directory tells whether the folder was new,
// so tests running side by side in several processes never share one.
fs::path fresh_folder() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const fs::path temp = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = temp / ("quill-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) return candidate;
  }
}

}  // namespace

ScratchFolder::ScratchFolder() : path_(fresh_folder()) {}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  // Read-only folders made by a test must not survive it.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

Text ScratchFolder::gbk_path(const std::string& relative_utf8) const {
  fs::path path = relative_utf8.empty() ? path_ : *this / relative_utf8;
  // In the program's own form: "\\" between the parts on Windows.
  const std::u8string utf8 = path.make_preferred().u8string();
  return utf8_to_gbk(std::string(utf8.begin(), utf8.end()));
}

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace quill::testing
