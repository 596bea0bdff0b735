#include "generator/folder_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/scratch_folder.h"

namespace quill {
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
  EXPECT_TRUE(CopyFolderContents(src(), dst(), asker.question()));
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css"), "new a");
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
  EXPECT_TRUE(asker.asked.empty());
}

TEST_F(FolderCopy, MissingSourceIsSuccessAndCreatesNothing) {
  EXPECT_TRUE(CopyFolderContents(dir.gbk_path("nothing"), dst(), {}));
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(FolderCopy, EmptySourceStillCreatesTheDestination) {
  fs::create_directories(dir / "empty");
  EXPECT_TRUE(CopyFolderContents(dir.gbk_path("empty"), dst(), {}));
  EXPECT_TRUE(fs::is_directory(dir / "out/nested/files"));
}

TEST_F(FolderCopy, YesToAllAsksOnceAndReplacesEverything) {
  put_old_files();
  Asker asker({ReplaceAnswer::yes_to_all});
  EXPECT_TRUE(CopyFolderContents(src(), dst(), asker.question()));
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css"), "new a");
  EXPECT_EQ(read_file(dir / "out/nested/files/b.png"), "new b");
}

TEST_F(FolderCopy, YesAsksForEachExistingFile) {
  put_old_files();
  Asker asker({ReplaceAnswer::yes});
  EXPECT_TRUE(CopyFolderContents(src(), dst(), asker.question()));
  EXPECT_EQ(asker.asked.size(), 2u);
  EXPECT_EQ(read_file(dir / "out/nested/files/b.png"), "new b");
}

TEST_F(FolderCopy, NoKeepsThatFileCopiesTheRestAndReportsFalse) {
  put_old_files();
  Asker asker({ReplaceAnswer::no, ReplaceAnswer::yes});
  EXPECT_FALSE(CopyFolderContents(src(), dst(), asker.question()));
  EXPECT_EQ(asker.asked.size(), 2u);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css") + read_file(dir / "out/nested/files/b.png"),
            "old anew b");
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
}

TEST_F(FolderCopy, NoToAllKeepsEveryExistingFile) {
  put_old_files();
  Asker asker({ReplaceAnswer::no_to_all});
  EXPECT_FALSE(CopyFolderContents(src(), dst(), asker.question()));
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/nested/files/b.png"), "old b");
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
}

TEST_F(FolderCopy, CancelStopsAtOnce) {
  put_old_files();
  Asker asker({ReplaceAnswer::cancel});
  EXPECT_FALSE(CopyFolderContents(src(), dst(), asker.question()));
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css") + read_file(dir / "out/nested/files/b.png"),
            "old aold b");
  EXPECT_FALSE(fs::exists(dir / "out/nested/files/sub"));
}

TEST_F(FolderCopy, SymbolicLinkLoopEnds) {
  fs::create_directory_symlink(dir / "src", dir / "src/sub/back");
  fs::create_directory_symlink("../..", dir / "src/sub/deep/up");
  EXPECT_TRUE(CopyFolderContents(src(), dst(), {}));
  EXPECT_EQ(read_file(dir / "out/nested/files/sub/deep/c.txt"), "new c");
}

TEST_F(FolderCopy, DestinationInsideSourceIsNotCopiedIntoItself) {
  EXPECT_TRUE(CopyFolderContents(src(), dir.gbk_path("src/sub/copy"), {}));
  EXPECT_EQ(read_file(dir / "src/sub/copy/a.css"), "new a");
  EXPECT_FALSE(fs::exists(dir / "src/sub/copy/sub/copy"));
}

TEST_F(FolderCopy, FileWhereAFolderShouldGoFails) {
  write_file(dir / "out/nested/files/sub", "in the way");
  EXPECT_FALSE(CopyFolderContents(src(), dst(), {}));
  EXPECT_EQ(read_file(dir / "out/nested/files/a.css"), "new a");
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
}  // namespace quill
