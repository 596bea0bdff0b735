#include "base/fs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/codepage.h"
#include "support/scratch_folder.h"

namespace quill {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<Text> scan_all(const std::string& pattern, unsigned mask, bool files_only) {
  DirScanState state;
  std::vector<Text> names;
  for (Text name = dir_scan_next(pattern, mask, files_only, state); !name.empty();
       name = dir_scan_next("", mask, files_only, state))
    names.push_back(name);
  EXPECT_FALSE(state.open());
  return names;
}

TEST(FileReadAll, MissingEmptyAndFolderGiveNothing) {
  ScratchFolder dir;
  EXPECT_TRUE(file_read_all("").empty());
  EXPECT_TRUE(file_read_all(dir.gbk_path("missing")).empty());
  EXPECT_TRUE(file_read_all(dir.path().string()).empty());
  write_file(dir.path() / "empty", "");
  EXPECT_TRUE(file_read_all(dir.gbk_path("empty")).empty());
}

TEST(FileWriteAll, WritesAndReadsBack) {
  ScratchFolder dir;
  ASSERT_TRUE(file_write_all(dir.gbk_path("page.htm"), bytes_of(std::string("head \0tail", 10))));
  EXPECT_EQ(file_read_all(dir.gbk_path("page.htm")), bytes_of(std::string("head \0tail", 10)));
  ASSERT_TRUE(file_write_all(dir.gbk_path("page.htm"), bytes_of("short")));
  EXPECT_EQ(read_file(dir.path() / "page.htm"), "short");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"page.htm"});  // no temp file left
}

TEST(FileWriteAll, GbkNameBecomesUtf8OnDisk) {
  ScratchFolder dir;
  Text path = (dir / "").string() + gbk("关键词.htm");
  ASSERT_TRUE(file_write_all(path, bytes_of("x")));
  EXPECT_TRUE(fs::exists(dir.path() / "关键词.htm"));
  EXPECT_EQ(file_read_all(path), bytes_of("x"));
}

TEST(FileWriteAll, MalformedGbkPathDoesNotCrash) {
  ScratchFolder dir;
  Text path = (dir / "").string() + "bad\x81";  // a lone lead byte at the end
  ASSERT_TRUE(file_write_all(path, bytes_of("x")));
  EXPECT_EQ(file_read_all(path), bytes_of("x"));
  EXPECT_EQ(scan_all(dir.gbk_path("bad*"), 0, true), std::vector<Text>{"bad?"});
}

TEST(FileWriteAll, MissingFolderGivesFalseAndCreatesNothing) {
  ScratchFolder dir;
  EXPECT_FALSE(file_write_all(dir.gbk_path("no/such/file.htm"), bytes_of("x")));
  EXPECT_FALSE(fs::exists(dir.path() / "no"));
  EXPECT_FALSE(file_write_all("", bytes_of("x")));
}

TEST(FileWriteAll, KeepsPermissions) {
  ScratchFolder dir;
  fs::path file = dir.path() / "settings.ini";
  write_file(file, "old");
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(file_write_all(file.string(), bytes_of("new")));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file(file), "new");
}

TEST(FileWriteAll, WritesThroughSymbolicLink) {
  ScratchFolder dir;
  write_file(dir.path() / "real.ini", "old");
  fs::create_symlink("real.ini", dir.path() / "link.ini");
  ASSERT_TRUE(file_write_all(dir.gbk_path("link.ini"), bytes_of("new")));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
  EXPECT_EQ(read_file(dir.path() / "real.ini"), "new");
}

TEST(FileWriteAll, FailureLeavesOldFileAndNoTemp) {
  ScratchFolder dir;
  fs::path file = dir.path() / "page.htm";
  write_file(file, "old contents");
  // A file size limit makes the write fail half-way, as a full disk would.
  struct rlimit saved {};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Text why;
  bool written = file_write_all(file.string(), Bytes(100000, 'x'), &why);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(why, gbk("磁盘空间不足"));
  EXPECT_EQ(read_file(file), "old contents");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"page.htm"});
}

TEST(FileWriteAll, TargetThatIsAFolderGivesFalse) {
  ScratchFolder dir;
  fs::create_directory(dir.path() / "sub");
  EXPECT_FALSE(file_write_all(dir.gbk_path("sub"), bytes_of("x")));
  EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"sub"});
}

TEST(FileWriteAll, ReadOnlyFolderOrFileGivesFalse) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ScratchFolder dir;
  fs::path folder = dir.path() / "locked";
  fs::create_directory(folder);
  write_file(folder / "page.htm", "old");
  ::chmod(folder.c_str(), 0555);
  Text why;
  EXPECT_FALSE(file_write_all((folder / "page.htm").string(), bytes_of("new"), &why));
  EXPECT_EQ(why, gbk("没有写入权限"));
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(read_file(folder / "page.htm"), "old");
  ::chmod((folder / "page.htm").c_str(), 0444);
  EXPECT_FALSE(file_write_all((folder / "page.htm").string(), bytes_of("new")));
  EXPECT_EQ(read_file(folder / "page.htm"), "old");
}

// Every name the folder can hold is writable, whatever the temporary file's
// name; a name it cannot hold, or one a NUL byte would cut, fails whole.
TEST(FileWriteAll, NameLengthLimitsAndNulBytes) {
  ScratchFolder dir;
  long name_max = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(name_max, 16);
  for (long length : {name_max - 13, name_max - 1, name_max}) {
    std::string name(static_cast<std::size_t>(length), 'n');
    ASSERT_TRUE(file_write_all(dir.gbk_path(name), bytes_of("x"))) << length;
    EXPECT_EQ(read_file(dir.path() / name), "x");
    fs::remove(dir.path() / name);
  }
  Text why;
  std::string too_long(static_cast<std::size_t>(name_max) + 1, 'n');
  EXPECT_FALSE(file_write_all(dir.gbk_path(too_long), bytes_of("x"), &why));
  EXPECT_EQ(why, gbk("文件名过长"));
  EXPECT_FALSE(file_write_all(dir.gbk_path("cut") + std::string("\0.htm", 5), bytes_of("x"), &why));
  EXPECT_FALSE(file_write_all(dir.gbk_path("missing/page.htm"), bytes_of("x"), &why));
  EXPECT_EQ(why, gbk("文件夹不存在"));
  EXPECT_TRUE(names_in(dir.path()).empty());
}

// A writer killed between creating its temporary file and renaming it leaves the
// file behind; the next write into the folder removes it, and only it.
TEST(FileWriteAll, RemovesTempsOfWritersThatAreGone) {
  ScratchFolder dir;
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  char stale[64], alive[64];
  std::snprintf(stale, sizeof stale, ".qm-%lx-3.tmp", static_cast<unsigned long>(gone));
  std::snprintf(alive, sizeof alive, ".qm-%lx-0.tmp", static_cast<unsigned long>(::getppid()));
  for (std::string name :
       {std::string(stale), std::string(alive), std::string(".qm-zz-1.tmp"), std::string("other.tmp")})
    write_file(dir.path() / name, "left");
  ASSERT_TRUE(file_write_all(dir.gbk_path("page.htm"), bytes_of("x")));
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{alive, ".qm-zz-1.tmp", "other.tmp", "page.htm"}));
}

TEST(DirCreate, ExactlyOneFolder) {
  ScratchFolder dir;
  EXPECT_TRUE(dir_create(dir.gbk_path("a")));
  EXPECT_FALSE(dir_create(dir.gbk_path("a")));
  EXPECT_FALSE(dir_create(dir.gbk_path("x/y")));
  EXPECT_FALSE(fs::exists(dir.path() / "x"));
  EXPECT_FALSE(dir_create(""));
}

TEST(PathExists, FilesFoldersAndWildcards) {
  ScratchFolder dir;
  write_file(dir.path() / "index.htm", "");
  fs::create_directory(dir.path() / "files");
  EXPECT_TRUE(path_exists(dir.gbk_path("index.htm")));
  EXPECT_TRUE(path_exists(dir.gbk_path("files")));
  EXPECT_TRUE(path_exists(dir.gbk_path("*.HTM")));
  EXPECT_TRUE(path_exists(dir.gbk_path("ind?x.htm")));
  EXPECT_FALSE(path_exists(dir.gbk_path("*.css")));
  EXPECT_FALSE(path_exists(dir.gbk_path("missing")));
  EXPECT_FALSE(path_exists(""));
}

class DirScan : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b", "A", "_x", "a1"}) fs::create_directory(dir.path() / name);
    for (const char* name : {"z.txt", "B.htm", "c.htm"}) write_file(dir.path() / name, "");
    fs::create_directory(dir.path() / "target");
    fs::create_directory_symlink("target", dir.path() / "Link");
  }
  ScratchFolder dir;
};

TEST_F(DirScan, FoldersInNtfsOrderDotsFirst) {
  // Upper-cased ordinal: "_" (0x5F) sorts after letters.
  EXPECT_EQ(scan_all(dir.gbk_path("*"), kAttrDirectory, false),
            (std::vector<Text>{".", "..", "A", "a1", "b", "Link", "target", "_x"}));
}

TEST_F(DirScan, FilesOnlyWithWildcard) {
  EXPECT_EQ(scan_all(dir.gbk_path("*"), 0, true), (std::vector<Text>{"B.htm", "c.htm", "z.txt"}));
  EXPECT_EQ(scan_all(dir.gbk_path("*.htm"), 0, true), (std::vector<Text>{"B.htm", "c.htm"}));
  EXPECT_EQ(scan_all(dir.gbk_path("?.*"), 0, true), (std::vector<Text>{"B.htm", "c.htm", "z.txt"}));
  EXPECT_EQ(scan_all(dir.gbk_path("*.*"), kAttrDirectory, false).size(), 8u);  // also names without a dot
}

TEST_F(DirScan, NoMatchGivesEmptyAndClosedState) {
  DirScanState state;
  EXPECT_EQ(dir_scan_next(dir.gbk_path("*.css"), 0, true, state), "");
  EXPECT_FALSE(state.open());
  EXPECT_EQ(dir_scan_next("", 0, true, state), "");
  EXPECT_EQ(dir_scan_next(dir.gbk_path("missing/*"), kAttrDirectory, false, state), "");
}

TEST_F(DirScan, NewPatternRestartsAndCloseEndsEarly) {
  DirScanState state;
  EXPECT_EQ(dir_scan_next(dir.gbk_path("*"), 0, true, state), "B.htm");
  EXPECT_EQ(dir_scan_next(dir.gbk_path("*"), kAttrDirectory, false, state), ".");
  EXPECT_TRUE(state.open());
  dir_scan_close(state);
  EXPECT_FALSE(state.open());
  EXPECT_EQ(dir_scan_next("", kAttrDirectory, false, state), "");
}

TEST_F(DirScan, InvalidUtf8NameComesBackWithQuestionMark) {
  fs::create_directory(dir.path() /
                       "bad\xFF"
                       "name");
  std::vector<Text> folders = scan_all(dir.gbk_path("bad*"), kAttrDirectory, false);
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0], "bad?name");
}

TEST_F(DirScan, ChineseNamesComeBackAsGbk) {
  fs::create_directory(dir.path() / "模板一");
  EXPECT_EQ(scan_all((dir / "").string() + gbk("模板*"), kAttrDirectory, false),
            std::vector<Text>{gbk("模板一")});
}

TEST(ExeDirectory, IsTheTestBinaryFolder) {
  Text folder = exe_directory();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '/');
  EXPECT_EQ(fs::path(folder), fs::canonical("/proc/self/exe").parent_path());
}

}  // namespace
}  // namespace quill
