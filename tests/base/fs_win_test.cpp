// The Windows file layer on real files: Chinese names whatever the ANSI code
// page, atomic replacement, the scan's order and attributes, bad paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/codepage.h"
#include "base/fs.h"
#include "support/scratch_folder.h"

namespace quill {
namespace {

using testing::ScratchFolder;

Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(WinFiles, ChineseNamesWriteReadAndReplace) {
  ScratchFolder scratch;
  const Text path = scratch.gbk_path("模板") + "\\" + gbk("模板文件.htm");
  ASSERT_TRUE(dir_create(scratch.gbk_path("模板")));
  EXPECT_FALSE(dir_create(scratch.gbk_path("模板")));
  Text why;
  ASSERT_TRUE(file_write_all(path, bytes_of("old"), &why)) << why;
  ASSERT_TRUE(file_write_all(path, bytes_of(gbk("新的内容")), &why)) << why;
  EXPECT_EQ(file_read_all(path), bytes_of(gbk("新的内容")));
  EXPECT_EQ(testing::read_file(scratch / "模板/模板文件.htm"), gbk("新的内容"));
  EXPECT_TRUE(path_taken(path));
  EXPECT_TRUE(path_exists(scratch.gbk_path("模板") + "\\*.htm"));
  // Only the page is left: no temporary file survives a write.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(scratch / "模板")) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST(WinFiles, FailuresAreReportedAndLoseNothing) {
  ScratchFolder scratch;
  const Text file = scratch.gbk_path("a.txt");
  ASSERT_TRUE(file_write_all(file, bytes_of("keep")));
  Text why;
  // A folder in the way, a missing folder, a NUL, bytes that are no GBK text.
  EXPECT_FALSE(file_write_all(scratch.gbk_path(), bytes_of("x"), &why));
  EXPECT_FALSE(file_write_all(scratch.gbk_path("no\\such\\b.txt"), bytes_of("x"), &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(file_write_all(file + std::string(1, '\0') + "x", bytes_of("x")));
  EXPECT_FALSE(file_write_all(scratch.gbk_path() + "\\\x81", bytes_of("x")));
  EXPECT_FALSE(file_write_all("", bytes_of("x")));
  // A read-only file stays as it was.
  std::filesystem::permissions(scratch / "a.txt", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_FALSE(file_write_all(file, bytes_of("lost"), &why));
  std::filesystem::permissions(scratch / "a.txt", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(file_read_all(file), bytes_of("keep"));
  Bytes out = bytes_of("junk");
  EXPECT_TRUE(file_read_or_missing(scratch.gbk_path("missing.txt"), out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(file_read_all(scratch.gbk_path("missing.txt")).empty());
}

// Names Windows would turn into a device, trim into another name or read as a
// stream are refused before anything is made; their neighbours are not.
TEST(WinFiles, NamesWindowsWouldRewriteAreRefused) {
  ScratchFolder scratch;
  for (const char* name : {"CON", "con.htm", "NUL.htm", "aux", "Prn.txt", "COM1.htm", "lpt9", "CON .htm",
                           "conin$", "a.", "a ", "a:b.htm", "a?b", "a*b", "a<b", "a|b", "a\"b",
                           "a\x01"
                           "b"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(file_write_all(scratch.gbk_path(name), bytes_of("x")));
    EXPECT_FALSE(dir_create(scratch.gbk_path(name)));
    EXPECT_FALSE(file_write_all(scratch.gbk_path(std::string(name) + "\\index.htm"), bytes_of("x")));
  }
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
  for (const char* name : {"CONSOLE.htm", "com10", "lpt0.htm", "a..htm", ".htm", "nul-not"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(file_write_all(scratch.gbk_path(name), bytes_of("x")));
  }
}

TEST(WinFiles, ScanGivesDotsFirstThenNamesCaseInsensitiveWithAttributes) {
  ScratchFolder scratch;
  for (const char* name : {"b.htm", "A.htm", "中.htm", "c.txt"}) testing::write_file(scratch / name, "x");
  ASSERT_TRUE(dir_create(scratch.gbk_path("Sub")));
  DirScanState state;
  std::vector<Text> all;
  for (Text name = dir_scan_next(scratch.gbk_path("*.*"), kAttrDirectory | kAttrArchive | kAttrReadOnly,
                                 false, state);
       !name.empty(); name = dir_scan_next("", kAttrDirectory | kAttrArchive | kAttrReadOnly, false, state))
    all.push_back(name);
  const std::vector<Text> expected = {".", "..", "A.htm", "b.htm", "c.txt", "Sub", gbk("中.htm")};
  EXPECT_EQ(all, expected);
  std::vector<Text> pages;
  for (Text name = dir_scan_next(scratch.gbk_path("*.htm"), 0, true, state); !name.empty();
       name = dir_scan_next("", 0, true, state))
    pages.push_back(name);
  EXPECT_EQ(pages, (std::vector<Text>{"A.htm", "b.htm", gbk("中.htm")}));
  EXPECT_FALSE(state.open());
  EXPECT_EQ(dir_scan_next(scratch.gbk_path("none*"), kAttrArchive, false, state), "");
}

TEST(WinFiles, ProgramFolderHoldsTheRunningProgram) {
  const Text folder = exe_directory();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(path_exists(folder + "\\*.exe"));
}

}  // namespace
}  // namespace quill
