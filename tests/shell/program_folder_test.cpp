#include "shell/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "base/codepage.h"
#include "shell/session.h"
#include "support/scratch_folder.h"

namespace quill::shell {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

TEST(ListTemplateFolders, ListsSubfoldersOnlyInNameOrder) {
  ScratchFolder dir;
  fs::create_directories(dir / "模板/b");
  fs::create_directories(dir / "模板/A");
  fs::create_directories(dir / "模板/默认模板");
  write_file(dir / "模板/readme.txt", "x");
  EXPECT_EQ(ListTemplateFolders(dir.gbk_path(), NoUiWaiter()), (TextList{"A", "b", gbk("默认模板")}));
}

TEST(ListTemplateFolders, NoTemplatesFolderGivesNoItems) {
  ScratchFolder dir;
  EXPECT_TRUE(ListTemplateFolders(dir.gbk_path(), NoUiWaiter()).empty());
  fs::create_directories(dir / "模板");
  EXPECT_TRUE(ListTemplateFolders(dir.gbk_path(), NoUiWaiter()).empty());
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserFolders, XdgFoldersFirstThenHomeAndNeverARelativeOrUnnameablePath) {
  ScratchFolder home;
  ScopedEnv home_env("HOME", home.path().c_str());
  {
    ScopedEnv config("XDG_CONFIG_HOME", (home.path() / "配置").c_str());
    ScopedEnv data("XDG_DATA_HOME", (home.path() / "数据/").c_str());
    const UserFolders user = UserFoldersFromEnvironment();
    EXPECT_EQ(user.config_dir, home.gbk_path("配置/quillmoor"));
    EXPECT_EQ(user.data_dir, home.gbk_path("数据/quillmoor"));
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
    ScopedEnv data("XDG_DATA_HOME", "");
    const UserFolders user = UserFoldersFromEnvironment();
    EXPECT_EQ(user.config_dir, home.gbk_path(".config/quillmoor"));
    EXPECT_EQ(user.data_dir, home.gbk_path(".local/share/quillmoor"));
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/tmp/\xF0\x9F\x98\x80");  // no GBK name for it
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    EXPECT_FALSE(UserFoldersFromEnvironment().known());
  }
}

TEST(FolderIsWritable, ProbesWithARealFileAndLeavesNothing) {
  ScratchFolder dir;
  EXPECT_TRUE(FolderIsWritable(dir.gbk_path()));
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_FALSE(FolderIsWritable(dir.gbk_path("missing")));
  EXPECT_FALSE(FolderIsWritable(""));
  EXPECT_FALSE(FolderIsWritable(Text("/tmp\0x", 6)));
}

// Run again as an unprivileged user: root writes through permission bits.
TEST(FolderIsWritable, ReadOnlyFolderIsNotWritable) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes through permission bits";
  ScratchFolder dir;
  fs::create_directories(dir / "ro");
  fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(FolderIsWritable(dir.gbk_path("ro")));
  const ProgramFolders chosen = ChooseProgramFolders(dir.gbk_path("ro"));
  EXPECT_FALSE(chosen.portable());
  fs::permissions(dir / "ro", fs::perms::owner_all);
}

TEST(ChooseProgramFolders, PortableWhenWritableOrWithoutUserFolders) {
  const UserFolders user{"/home/u/.config/quillmoor", "/home/u/.local/share/quillmoor"};
  EXPECT_EQ(ChooseProgramFolders("/opt/q", true, user), (ProgramFolders{"/opt/q", "/opt/q", "/opt/q"}));
  EXPECT_EQ(ChooseProgramFolders("/opt/q", false, {}), (ProgramFolders{"/opt/q", "/opt/q", "/opt/q"}));
  EXPECT_EQ(ChooseProgramFolders("/opt/q", false, user),
            (ProgramFolders{"/opt/q", user.config_dir, user.data_dir}));
}

// An installed program: the shipped templates A and B beside it, the user's own
// B and C in his data folder; an administrator's gateway beside the program.
class InstalledProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* t :
         {"program/模板/A", "program/模板/B", "data/quillmoor/模板/B", "data/quillmoor/模板/C"})
      fs::create_directories(root / t);
    write_file(root / "program/Quillbatch.ini",
               gbk("[网络]\r\n网关=http://127.0.0.1:1/router/rest?\r\n图片服务器=127.0.0.1:1\r\n"));
  }
  ProgramFolders folders() const {
    return ChooseProgramFolders(root.gbk_path("program"), false,
                                {root.gbk_path("config/quillmoor"), root.gbk_path("data/quillmoor")});
  }
  ScratchFolder root;
};

TEST_F(InstalledProgram, ListsTheUsersTemplatesFirstAndFindsEachWhereListed) {
  const ProgramSession session = OpenProgramFolder(folders(), NoUiWaiter());
  EXPECT_EQ(session.templates, (TextList{"B", "C", "A"}));
  const generator::RunEnvironment environment = RunEnvironmentOf(session);
  EXPECT_EQ(environment.locate_template("B").page_file, root.gbk_path("data/quillmoor/模板/B/模板文件.htm"));
  EXPECT_EQ(environment.locate_template("A").resource_folder, root.gbk_path("program/模板/A/files"));
  // Gone from the user's folder since the listing: the shipped one of that name.
  fs::remove(root / "data/quillmoor/模板/B");
  EXPECT_EQ(environment.locate_template("B").page_file, root.gbk_path("program/模板/B/模板文件.htm"));
}

TEST_F(InstalledProgram, SettingsAndSaveFolderLiveInTheUsersFolders) {
  fs::remove_all(root / "data");
  ProgramSession session = OpenProgramFolder(folders(), NoUiWaiter());
  EXPECT_EQ(session.templates, (TextList{"A", "B"}));
  EXPECT_TRUE(fs::is_directory(root / "data/quillmoor/模板"));
  EXPECT_EQ(fs::status(root / "config/quillmoor").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(session.restored.save_dir, root.gbk_path("data/quillmoor/已生成"));

  const std::string shipped = read_file(root / "program/Quillbatch.ini");
  EXPECT_TRUE(SaveSettings(session.store, session.restored));
  EXPECT_NE(read_file(root / "config/quillmoor/Quillbatch.ini").find(gbk("保存目录=")), std::string::npos);
  EXPECT_EQ(read_file(root / "program/Quillbatch.ini"), shipped);

  // The user's network keys win key by key over the administrator's.
  write_file(root / "config/quillmoor/Quillbatch.ini",
             gbk("[网络]\r\n网关=http://127.0.0.1:2/router/rest?\r\n"));
  const generator::RunEnvironment environment = RunEnvironmentOf(session);
  EXPECT_EQ(environment.gateway, "http://127.0.0.1:2/router/rest?");
  EXPECT_EQ(environment.picture_host, "127.0.0.1:1");
}

// The user's folders of an installed program are his alone: made or tightened
// to 0700; one that is a symbolic link or another user's is refused by name,
// and neither the settings nor anything else goes through it.
TEST(InstalledProgramFolders, AreTheUsersAloneOrRefusedByName) {
  enum Prepare { kNothing, kOpenToAll, kLink, kAnotherUsers };
  const struct {
    const char* folder;  // "config" or "data"
    Prepare prepare;
  } cases[] = {{"config", kNothing},
               {"config", kOpenToAll},
               {"config", kLink},
               {"data", kLink},
               {"config", kAnotherUsers}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + std::to_string(c.prepare));
    if (c.prepare == kAnotherUsers && ::geteuid() != 0) continue;  // only root gives a folder away
    ScratchFolder root;
    for (const char* made : {"program", "elsewhere", "config", "data"}) fs::create_directories(root / made);
    const fs::path folder = root / c.folder / "quillmoor";
    if (c.prepare == kLink) fs::create_directory_symlink(root / "elsewhere", folder);
    if (c.prepare == kOpenToAll || c.prepare == kAnotherUsers) fs::create_directory(folder);
    if (c.prepare == kOpenToAll) fs::permissions(folder, fs::perms::all);
    if (c.prepare == kAnotherUsers) {
      ASSERT_EQ(::chown(folder.c_str(), ::geteuid() + 1, ::getegid()), 0);
    }
    ProgramSession session = OpenProgramFolder(
        ChooseProgramFolders(root.gbk_path("program"), false,
                             {root.gbk_path("config/quillmoor"), root.gbk_path("data/quillmoor")}),
        NoUiWaiter());
    const bool saved = SaveSettings(session.store, session.restored);
    if (c.prepare == kLink || c.prepare == kAnotherUsers) {
      EXPECT_NE(session.refused.find(root.gbk_path(std::string(c.folder) + "/quillmoor")), Text::npos);
      EXPECT_FALSE(saved);
      EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
      EXPECT_FALSE(fs::exists(root / "config/quillmoor/Quillbatch.ini"));
      continue;
    }
    EXPECT_EQ(session.refused, "");
    EXPECT_TRUE(saved);
    for (const char* own : {"config/quillmoor", "data/quillmoor"})
      EXPECT_EQ(fs::status(root / own).permissions() & fs::perms::all, fs::perms::owner_all) << own;
    EXPECT_EQ(fs::status(root / "config/quillmoor/Quillbatch.ini").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }
}

TEST(PortableProgram, KeepsEverythingBesideTheProgramAndTouchesNoUserFolder) {
  ScratchFolder program, home;
  ScopedEnv config("XDG_CONFIG_HOME", (home.path() / "config").c_str());
  ScopedEnv data("XDG_DATA_HOME", (home.path() / "data").c_str());
  fs::create_directories(program / "模板/A");
  const ProgramSession session = OpenProgramFolder(program.gbk_path(), NoUiWaiter());
  EXPECT_TRUE(session.folders.portable());
  EXPECT_EQ(session.store.file(), program.gbk_path("Quillbatch.ini"));
  EXPECT_EQ(session.restored.save_dir, program.gbk_path("已生成"));
  EXPECT_EQ(RunEnvironmentOf(session).locate_template("A").page_file,
            program.gbk_path("模板/A/模板文件.htm"));
  EXPECT_TRUE(fs::is_empty(home.path()));
}

}  // namespace
}  // namespace quill::shell
