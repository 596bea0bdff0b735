// quillmoor-batch killed with SIGKILL at its I/O points while it rewrites
// existing pages (at a write, half-way through it, at an fsync, at a rename;
// an LD_PRELOAD shim counts them): every page is the old one or the new one,
// whole, and the next run leaves no temporary file behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "support/sandbox_process.h"
#include "support/scratch_folder.h"

extern char** environ;

namespace quill::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 40;
constexpr std::size_t kPointsPerKind = 6;  // writes, fsyncs, renames

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

  // Runs the batch tool on a program folder through the shim, which kills it
  // at I/O point crash_at of the save folder (0: never) and, when trace is
  // given, writes there the kinds of the points it saw. The wait status.
  int batch(const std::string& folder, long crash_at = 0, const std::string& trace = "") {
    const std::string program = (dir / folder).string(), keywords = (dir / "keywords.txt").string();
    fs::create_directories(dir / folder / "已生成");
    std::vector<std::string> args = {QUILL_BATCH_PATH, "--program-dir", program, "--keywords-file", keywords,
                                     "--quiet"};
    std::vector<std::string> variables = {
        std::string("LD_PRELOAD=") + QUILL_CRASH_SHIM_PATH,
        "QUILL_CRASH_FOLDER=" + fs::canonical(dir / folder / "已生成").string(),
        "QUILL_CRASH_AT=" + std::to_string(crash_at), "QUILL_CRASH_TRACE=" + trace};
    for (char** variable = environ; *variable; ++variable) variables.push_back(*variable);
    std::vector<char*> argv, envp;
    for (std::string& arg : args) argv.push_back(arg.data());
    for (std::string& variable : variables) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, QUILL_BATCH_PATH, nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  // kPointsPerKind points of each kind (fewer when the run has fewer), spread
  // over the run; numbered from 1 as the shim counts.
  static std::vector<long> crash_points(const std::string& kinds) {
    std::vector<long> points;
    for (const char kind : std::string("wfr")) {
      std::vector<long> of_kind;
      for (std::size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == kind) of_kind.push_back(static_cast<long>(i) + 1);
      for (std::size_t n = 0; n < std::min(kPointsPerKind, of_kind.size()); ++n)
        points.push_back(of_kind[n * of_kind.size() / kPointsPerKind]);
    }
    return points;
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
  ASSERT_EQ(batch("new"), 0);
  const auto fresh = pages("new");
  ASSERT_EQ(fresh.size(), static_cast<std::size_t>(kLines));
  ASSERT_EQ(batch("old"), 0);
  const auto old = pages("old");
  ASSERT_EQ(old.size(), fresh.size());
  // The same folder now gets the new template; a copy of it shows the I/O
  // points of such a rewrite.
  fs::remove_all(dir / "old/模板");
  fs::copy(dir / "new/模板", dir / "old/模板", fs::copy_options::recursive);
  fs::copy(dir / "old", dir / "traced", fs::copy_options::recursive);
  ASSERT_EQ(batch("traced", 0, (dir / "kinds").string()), 0);
  const std::vector<long> points = crash_points(read_file(dir / "kinds"));
  ASSERT_EQ(points.size(), 3 * kPointsPerKind) << read_file(dir / "kinds");

  for (const long point : points) {
    const int status = batch("old", point);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "point " << point << ": " << status;
    for (const auto& [name, bytes] : pages("old")) {
      if (name.starts_with(".")) continue;  // a temporary of the killed writer
      ASSERT_TRUE(bytes == old.at(name) || bytes == fresh.at(name)) << "point " << point << ": " << name;
    }
  }
  ASSERT_EQ(batch("old"), 0);
  EXPECT_EQ(pages("old"), fresh);
  EXPECT_TRUE(temporaries("old").empty()) << temporaries("old")[0];
}

}  // namespace
}  // namespace quill::testing
