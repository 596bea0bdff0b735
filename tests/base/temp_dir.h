#pragma once
// A fresh folder per test under the system's temp folder, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quill::test {

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("quill_") + info->test_suite_name() + "_" + info->name() + "_" +
                       std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                       std::to_string(reinterpret_cast<std::uintptr_t>(this));
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    // Read-only folders made by a test must not survive it.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  // A path inside, in the program's own form (ASCII names are the same in GBK).
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace quill::test
