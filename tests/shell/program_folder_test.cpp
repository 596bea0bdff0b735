#include "shell/program_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/codepage.h"
#include "support/scratch_folder.h"

namespace quill::shell {
namespace {

using testing::ScratchFolder;

TEST(ListTemplateFolders, ListsSubfoldersOnlyInNameOrder) {
  ScratchFolder dir;
  std::filesystem::create_directories(dir / "模板/b");
  std::filesystem::create_directories(dir / "模板/A");
  std::filesystem::create_directories(dir / "模板/默认模板");
  testing::write_file(dir / "模板/readme.txt", "x");
  EXPECT_EQ(ListTemplateFolders(dir.gbk_path()), (TextList{"A", "b", gbk("默认模板")}));
}

TEST(ListTemplateFolders, NoTemplatesFolderGivesNoItems) {
  ScratchFolder dir;
  EXPECT_TRUE(ListTemplateFolders(dir.gbk_path()).empty());
  std::filesystem::create_directories(dir / "模板");
  EXPECT_TRUE(ListTemplateFolders(dir.gbk_path()).empty());
}

}  // namespace
}  // namespace quill::shell
