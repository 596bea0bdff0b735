#include "generator/folder_copy.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "generator/folder_copy_platform.h"
#include "support/scratch_folder.h"

namespace quill::generator {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

struct Asker {
  explicit Asker(std::vector<ReplaceAnswer> given) : answers(std::move(given)) {}
  std::vector<ReplaceAnswer> answers;  // given in turn; the last one repeats
  std::vector<Text> asked;
  ReplaceQuestion question() {
    return [this](const Text& target) {
      asked.push_back(target);
      const std::size_t i = std::min(asked.size() - 1, answers.size() - 1);
      return answers[i];
    };
  }
};

class FolderCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "src/a.css", "new a");
    write_file(dir / "src/b.png", "new b");
    write_file(dir / "src/sub/deep/c.txt", "new c");
  }
  Text src() const { return dir.gbk_path("src"); }
  Text dst() const { return dir.gbk_path("out/nested/files"); }
  void put_old_files() {
    write_file(dir / "out/nested/files/a.css", "old a");
    write_file(dir / "out/nested/files/b.png", "old b");
  }
  ScratchFolder dir;
};

TEST_F(FolderCopy, CopiesFilesAndSubfoldersCreatingTheDestinationPath) {
  Asker asker({ReplaceAnswer::cancel});
  EXPECT_TRUE(CopyFolderContents(src(), dst(), asker.question(), NoUiWaiter()).ok);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css"), "new a");
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
  EXPECT_TRUE(asker.asked.empty());
}

TEST_F(FolderCopy, MissingSourceIsSuccessAndCreatesNothing) {
  EXPECT_TRUE(CopyFolderContents(dir.gbk_path("nothing"), dst(), {}, NoUiWaiter()).ok);
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(FolderCopy, EmptySourceStillCreatesTheDestination) {
  fs::create_directories(dir / "empty");
  EXPECT_TRUE(CopyFolderContents(dir.gbk_path("empty"), dst(), {}, NoUiWaiter()).ok);
  EXPECT_TRUE(fs::is_directory(dir / "out/nested/files"));
}

TEST_F(FolderCopy, YesToAllAsksOnceAndReplacesEverything) {
  put_old_files();
  Asker asker({ReplaceAnswer::yes_to_all});
  EXPECT_TRUE(CopyFolderContents(src(), dst(), asker.question(), NoUiWaiter()).ok);
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css"), "new a");
  EXPECT_EQ(read_file(dir / "out/nested/files/b.png"), "new b");
}

TEST_F(FolderCopy, YesAsksForEachExistingFile) {
  put_old_files();
  Asker asker({ReplaceAnswer::yes});
  EXPECT_TRUE(CopyFolderContents(src(), dst(), asker.question(), NoUiWaiter()).ok);
  EXPECT_EQ(asker.asked.size(), 2u);
  EXPECT_EQ(read_file(dir / "out/nested/files/b.png"), "new b");
}

TEST_F(FolderCopy, NoKeepsThatFileCopiesTheRestAndReportsFalse) {
  put_old_files();
  Asker asker({ReplaceAnswer::no, ReplaceAnswer::yes});
  EXPECT_FALSE(CopyFolderContents(src(), dst(), asker.question(), NoUiWaiter()).ok);
  EXPECT_EQ(asker.asked.size(), 2u);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css") + read_file(dir / "out/nested/files/b.png"),
            "old anew b");
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
}

TEST_F(FolderCopy, NoToAllKeepsEveryExistingFile) {
  put_old_files();
  Asker asker({ReplaceAnswer::no_to_all});
  EXPECT_FALSE(CopyFolderContents(src(), dst(), asker.question(), NoUiWaiter()).ok);
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/nested/files/b.png"), "old b");
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
}

TEST_F(FolderCopy, CancelStopsAtOnce) {
  put_old_files();
  Asker asker({ReplaceAnswer::cancel});
  EXPECT_FALSE(CopyFolderContents(src(), dst(), asker.question(), NoUiWaiter()).ok);
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css") + read_file(dir / "out/nested/files/b.png"),
            "old aold b");
  EXPECT_FALSE(fs::exists(dir / "out/nested/files/sub"));
}

TEST_F(FolderCopy, SymbolicLinkLoopEnds) {
  fs::create_directory_symlink(dir / "src", dir / "src/sub/back");
  fs::create_directory_symlink("../..", dir / "src/sub/deep/up");
  EXPECT_TRUE(CopyFolderContents(src(), dst(), {}, NoUiWaiter()).ok);
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
}

TEST_F(FolderCopy, DestinationInsideSourceIsNotCopiedIntoItself) {
  EXPECT_TRUE(CopyFolderContents(src(), dir.gbk_path("src/sub/copy"), {}, NoUiWaiter()).ok);
  EXPECT_EQ(read_file(dir / "src/sub/copy/a.css"), "new a");
  EXPECT_FALSE(fs::exists(dir / "src/sub/copy/sub/copy"));
}

TEST_F(FolderCopy, FileWhereAFolderShouldGoFails) {
  write_file(dir / "out/nested/files/sub", "in the way");
  EXPECT_FALSE(CopyFolderContents(src(), dst(), {}, NoUiWaiter()).ok);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css"), "new a");
}

// A template folder holding everything that is not simply a file or a folder.
class HostileFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "settings.ini", "secret");
    write_file(dir / "files/page.css", "css");
    write_file(dir / "files/sub/deep.txt", "deep");
    fs::create_symlink("page.css", dir / "files/same.css");
    fs::create_directory_symlink("sub", dir / "files/sub_too");
    fs::create_symlink("../settings.ini", dir / "files/settings.ini");
    fs::create_symlink("/etc/passwd", dir / "files/passwd");
    fs::create_directory_symlink("../..", dir / "files/sub/up");
    fs::create_symlink("/dev/zero", dir / "files/zero");
    fs::create_symlink("gone", dir / "files/dangling");
    fs::create_directory_symlink(".", dir / "files/loop");
    ASSERT_EQ(mkfifo((dir / "files/fifo").c_str(), 0600), 0);
    fs::create_symlink("fifo", dir / "files/fifo_too");
    bind_socket(dir / "files/sock");
    write_file(dir / "files/\xF0\x9F\x98\x80.png", "emoji");  // no GBK form
  }
  static void bind_socket(const fs::path& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.native().size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.native().size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }
  std::vector<std::string> published() const {
    std::vector<std::string> names;
    for (auto it = fs::recursive_directory_iterator(dir / "out"); it != fs::recursive_directory_iterator();
         ++it)
      names.push_back(fs::relative(it->path(), dir / "out").string());
    std::sort(names.begin(), names.end());
    return names;
  }
  ScratchFolder dir;
};

TEST_F(HostileFiles, OnlyWhatTheTemplateHoldsIsPublishedAndTheRestIsReported) {
  const CopyReport report = CopyFolderContents(dir.gbk_path("files"), dir.gbk_path("out"), {}, NoUiWaiter());
  EXPECT_TRUE(report.ok);
  EXPECT_EQ(published(), (std::vector<std::string>{"page.css", "same.css", "sub", "sub/deep.txt", "sub_too",
                                                   "sub_too/deep.txt"}));
  EXPECT_EQ(read_file(dir / "out/same.css"), "css");
  EXPECT_FALSE(fs::is_symlink(dir / "out/same.css"));

  std::vector<std::pair<std::string, SkipReason>> skipped;
  for (const SkippedEntry& entry : report.skipped)
    skipped.emplace_back(fs::path(entry.path).lexically_relative(dir / "files").string(), entry.reason);
  std::sort(skipped.begin(), skipped.end());
  const std::vector<std::pair<std::string, SkipReason>> expected = {
      {"?.png", SkipReason::name_not_in_code_page}, {"dangling", SkipReason::link_outside},
      {"fifo", SkipReason::not_regular_file},       {"fifo_too", SkipReason::not_regular_file},
      {"passwd", SkipReason::link_outside},         {"settings.ini", SkipReason::link_outside},
      {"sock", SkipReason::not_regular_file},       {"sub/up", SkipReason::link_outside},
      {"sub_too/up", SkipReason::link_outside},     {"zero", SkipReason::link_outside},
  };
  EXPECT_EQ(skipped, expected);

  // An entry that turns into a FIFO after it was checked opens at once and is refused.
  EXPECT_EQ(copy_detail::copy_file((dir / "files/fifo").string(), dir.gbk_path("out/fifo")),
            copy_detail::FileCopy::not_regular);
  EXPECT_FALSE(fs::exists(dir / "out/fifo"));
}

TEST_F(HostileFiles, LinksInTheDestinationAreReplacedOrRefusedNeverWrittenThrough) {
  write_file(dir / "victim/page.css", "mine");
  fs::create_directories(dir / "out");
  fs::create_symlink(dir / "victim/page.css", dir / "out/page.css");
  fs::create_directory_symlink(dir / "victim", dir / "out/sub");
  const CopyReport report = CopyFolderContents(dir.gbk_path("files"), dir.gbk_path("out"), {}, NoUiWaiter());
  EXPECT_FALSE(report.ok);
  EXPECT_EQ(read_file(dir / "victim/page.css"), "mine");
  EXPECT_FALSE(fs::exists(dir / "victim/deep.txt"));
  EXPECT_FALSE(fs::is_symlink(dir / "out/page.css"));
  EXPECT_EQ(read_file(dir / "out/page.css"), "css");
  EXPECT_EQ(read_file(dir / "out/sub_too/deep.txt"), "deep");
  const auto refused =
      std::find_if(report.skipped.begin(), report.skipped.end(),
                   [&](const SkippedEntry& entry) { return entry.reason == SkipReason::unwritable; });
  ASSERT_NE(refused, report.skipped.end());
  EXPECT_EQ(refused->path, dir.gbk_path("out/sub"));

  // The destination folder itself being a link is refused as a whole.
  fs::create_directory_symlink(dir / "victim", dir / "linked");
  EXPECT_FALSE(CopyFolderContents(dir.gbk_path("files"), dir.gbk_path("linked"), {}, NoUiWaiter()).ok);
  EXPECT_FALSE(fs::exists(dir / "victim/same.css"));
}

TEST(MakeFolderPath, CreatesEveryMissingFolderDownwards) {
  ScratchFolder dir;
  EXPECT_TRUE(MakeFolderPath(dir.gbk_path("a/b/c") + "/"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(MakeFolderPath(dir.gbk_path("a/b/c") + "/"));
}

TEST(MakeFolderPath, GivesUpWhenAFolderCannotBeMade) {
  ScratchFolder dir;
  write_file(dir / "file", "x");
  EXPECT_FALSE(MakeFolderPath(dir.gbk_path("file/below") + "/"));
}

}  // namespace
}  // namespace quill::generator
