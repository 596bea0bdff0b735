// quillmoor-batch killed with SIGKILL at random moments while it rewrites
// existing pages: every page is the old one or the new one, whole, and the
// next run leaves no temporary file behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>

#include "base/codepage.h"
#include "support/sandbox_process.h"
#include "support/scratch_folder.h"

extern char** environ;

namespace quill::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 150;

class KillSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.running());
    for (const char* folder : {"old", "new"}) {
      fs::create_directories(dir / folder);
      fs::copy(fs::path(QUILL_PROGRAM_DIR_PATH) / "模板", dir / folder / "模板", fs::copy_options::recursive);
      const std::string url = sandbox.url();
      write_file(dir / folder / "Quillbatch.ini",
                 gbk("[网络]\r\n网关=" + url + "/router/rest?\r\n图片服务器=" + sandbox.host() + "\r\n"));
    }
    // The new pages differ from the old ones in every byte count.
    const fs::path page = dir / "new/模板/默认模板/模板文件.htm";
    write_file(page, "<!-- new -->\r\n" + read_file(page));
    std::string keywords;
    for (int i = 1; i <= kLines; ++i) keywords += "k" + std::to_string(i) + "\n";
    write_file(dir / "keywords.txt", keywords);
  }

  // Runs the batch tool on a program folder; with kill_at > 0 it is killed
  // once line kill_at has begun.
  void batch(const std::string& folder, int kill_at = 0) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = (dir / folder).string(), keywords = (dir / "keywords.txt").string();
    std::vector<std::string> args = {QUILL_BATCH_PATH, "--program-dir", program, "--keywords-file", keywords};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, QUILL_BATCH_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    const std::string mark = "[" + std::to_string(kill_at) + "/";
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
      seen.append(buffer, static_cast<std::size_t>(n));
      if (kill_at > 0 && seen.find(mark) != std::string::npos) {
        ::kill(pid, SIGKILL);
        break;
      }
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }

  std::map<std::string, std::string> pages(const std::string& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::directory_iterator(dir / folder / "已生成"))
      if (entry.is_regular_file()) found[entry.path().filename().string()] = read_file(entry.path());
    return found;
  }

  std::vector<std::string> temporaries(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir / folder / "已生成"))
      if (entry.path().extension() == ".tmp") found.push_back(entry.path().string());
    return found;
  }

  SandboxProcess sandbox;
  ScratchFolder dir;
};

TEST_F(KillSafety, EveryPageIsOldOrNewAndWholeAndDebrisGoesNextRun) {
  batch("new");
  const auto fresh = pages("new");
  ASSERT_EQ(fresh.size(), static_cast<std::size_t>(kLines));
  fs::remove_all(dir / "new/已生成");
  batch("old");
  const auto old = pages("old");
  ASSERT_EQ(old.size(), fresh.size());
  // The same folder now gets the new template, and is killed again and again.
  fs::remove_all(dir / "old/模板");
  fs::copy(dir / "new/模板", dir / "old/模板", fs::copy_options::recursive);

  std::mt19937 random(20261208);
  for (int trial = 0; trial < 8; ++trial) {
    batch("old", std::uniform_int_distribution<int>(1, kLines)(random));
    for (const auto& [name, bytes] : pages("old")) {
      if (name.starts_with(".")) continue;  // a temporary of the killed writer
      ASSERT_TRUE(bytes == old.at(name) || bytes == fresh.at(name)) << "trial " << trial << ": " << name;
    }
  }
  batch("old");
  EXPECT_EQ(pages("old"), fresh);
  EXPECT_TRUE(temporaries("old").empty()) << temporaries("old")[0];
}

}  // namespace
}  // namespace quill::testing
