// quillmoor-batch as a user runs it: a program folder, the settings file, the
// sandbox on loopback; what it prints and how it exits.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "base/codepage.h"
#include "support/sandbox_process.h"
#include "support/scratch_folder.h"

namespace quill::testing {
namespace {

namespace fs = std::filesystem;

class BatchTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.running());
    fs::create_directories(dir / "prog");
    fs::copy(fs::path(QUILL_PROGRAM_DIR_PATH) / "模板", dir / "prog/模板", fs::copy_options::recursive);
    write_settings("");
  }
  // The settings file: the network section pointing at the sandbox, plus extra lines (UTF-8).
  void write_settings(const std::string& extra) {
    const std::string url = sandbox.url();
    write_file(dir / "prog/Quillbatch.ini",
               gbk("[网络]\r\n网关=" + url + "/router/rest?\r\n百度=" + url + "\r\nCNZZ=" + url +
                   "\r\nBaid=" + url + "\r\n图片服务器=" + sandbox.host() + "\r\n" + extra));
  }
  int batch(const std::string& arguments) {
    const std::string command = std::string("'") + QUILL_BATCH_PATH + "' --program-dir '" +
                                (dir / "prog").string() + "' " + arguments + " 2>'" +
                                (dir / "stderr").string() + "' >'" + (dir / "stdout").string() + "'";
    const int status = std::system(command.c_str());
    err = read_file(dir / "stderr");
    out = read_file(dir / "stdout");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool exists(const std::string& relative) { return fs::exists(dir / relative); }
  // Both interfaces, each with a PID it can use: the option that chooses it.
  std::vector<std::string> both_interfaces() {
    write_settings("[通常配置]\r\nPID=mm_1_2_3\r\n");
    return {"", " --api taobao.tbk.dg.material.optional.upgrade"};
  }

  SandboxProcess sandbox;
  ScratchFolder dir;
  std::string err, out;
};

TEST_F(BatchTool, DefaultSettingsWriteTheThreePagesAndReportProgress) {
  const std::string settings_before = read_file(dir / "prog/Quillbatch.ini");
  EXPECT_EQ(batch(""), 0) << err;
  EXPECT_TRUE(exists("prog/已生成/女装,女鞋,女包.htm"));
  EXPECT_TRUE(exists("prog/已生成/2012.htm"));
  EXPECT_TRUE(exists("prog/已生成/连衣裙,毛衣.htm"));
  EXPECT_TRUE(exists("prog/已生成/files/style.css"));
  EXPECT_NE(err.find("[1/3] 正在生成..女装,女鞋,女包\n[2/3] 正在生成..2012\n[3/3] 正在生成..连衣裙,毛衣\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("写入页面 3，记录 60，无结果的调用 0，未能写入的页面 0"), std::string::npos) << err;
  EXPECT_EQ(read_file(dir / "prog/Quillbatch.ini"), settings_before);
}

TEST_F(BatchTool, StoredSettingsAreUsed) {
  write_settings("[通常配置]\r\n关键词=甲┊*┊乙\r\n获取数目=3\r\n路径式样=1\r\n保存目录=pages\r\n尺寸=0\r\n");
  EXPECT_EQ(batch("--quiet"), 0) << err;
  EXPECT_EQ(err, "");
  // A relative save folder is taken in the program folder, as the window does.
  const std::string page = gbk_to_utf8(read_file(dir / "prog/pages/甲/index.htm"));
  EXPECT_NE(page.find("<span class=\"rank\">3</span>"), std::string::npos);
  EXPECT_EQ(page.find("<span class=\"rank\">4</span>"), std::string::npos);
  EXPECT_TRUE(exists("prog/pages/乙/files/logo.svg"));
}

TEST_F(BatchTool, KeywordsFileInGbkOrUtf8WithByteOrderMark) {
  write_file(dir / "gbk.txt", gbk("春装\n夏装\n"));
  EXPECT_EQ(batch("--keywords-file '" + (dir / "gbk.txt").string() + "'"), 0) << err;
  EXPECT_TRUE(exists("prog/已生成/春装.htm"));
  write_file(dir / "utf8.txt", "\xEF\xBB\xBF秋装\r\n冬装");
  EXPECT_EQ(batch("--keywords-file='" + (dir / "utf8.txt").string() + "'"), 0) << err;
  EXPECT_TRUE(exists("prog/已生成/冬装.htm"));
  EXPECT_NE(err.find("[2/2] 正在生成..冬装"), std::string::npos);
  // A keyword GBK cannot hold fails its line by name; no "?" asks for other items.
  write_file(dir / "utf8.txt", "\xEF\xBB\xBF秋装,\xF0\x9F\x98\x80裙\r\n冬装");
  EXPECT_EQ(batch("--keywords-file='" + (dir / "utf8.txt").string() + "'"), 3) << err;
  EXPECT_NE(err.find("关键词“\xF0\x9F\x98\x80裙”无法用 GBK 表示"), std::string::npos) << err;
  EXPECT_NE(err.find("[2/2] 正在生成..冬装"), std::string::npos);
  EXPECT_FALSE(exists("prog/已生成/秋装,?裙.htm"));
}

TEST_F(BatchTool, ShortLinksAndGatewayOptions) {
  write_file(dir / "k.txt", "2012");
  EXPECT_EQ(batch("--short-links 2 --keywords-file '" + (dir / "k.txt").string() + "'"), 0) << err;
  EXPECT_NE(gbk_to_utf8(read_file(dir / "prog/已生成/2012.htm")).find(sandbox.url() + "/s/"),
            std::string::npos);
  const std::string good = read_file(dir / "prog/已生成/2012.htm");
  // A dead gateway fails the call: the good page stays and the summary says why.
  EXPECT_EQ(
      batch("--gateway http://127.0.0.1:1/router/rest? --keywords-file '" + (dir / "k.txt").string() + "'"),
      4);
  EXPECT_EQ(read_file(dir / "prog/已生成/2012.htm"), good);
  EXPECT_NE(err.find("失败的调用 1"), std::string::npos) << err;
  EXPECT_NE(err.find("2012：连接被拒绝"), std::string::npos) << err;
}

// 接口 chooses the interface, --api overrides it; what neither can use exits 2.
TEST_F(BatchTool, InterfaceFromTheSettingsOrTheOption) {
  write_settings("接口=taobao.tbk.dg.material.optional.upgrade\r\n[通常配置]\r\n关键词=2012\r\n");
  EXPECT_EQ(batch(""), 2) << err;
  EXPECT_NE(err.find("PID 应为 mm_数字_数字_数字"), std::string::npos) << err;
  EXPECT_FALSE(exists("prog/已生成"));
  EXPECT_EQ(batch("--api taobao.taobaoke.items.get"), 0) << err;
  EXPECT_EQ(batch("--api taobao.tbk.item.get"), 2);
  EXPECT_NE(err.find("“接口”只接受 taobao.taobaoke.items.get 或 taobao.tbk.dg.material.optional.upgrade"),
            std::string::npos)
      << err;
  write_settings(
      "接口=taobao.tbk.dg.material.optional.upgrade\r\n[通常配置]\r\n关键词=2012\r\nPID=mm_1_2_3\r\n");
  EXPECT_EQ(batch(""), 0) << err;
  EXPECT_NE(gbk_to_utf8(read_file(dir / "prog/已生成/2012.htm")).find("user_number_id="), std::string::npos);
}

TEST_F(BatchTool, HostileGatewaysExitWithFourAndKeepThePages) {
  for (const std::string& api : both_interfaces()) {
    write_file(dir / "k.txt", "2012");
    const std::string keywords = " --keywords-file '" + (dir / "k.txt").string() + "'" + api;
    ASSERT_EQ(batch(keywords), 0) << err;
    const std::string good = read_file(dir / "prog/已生成/2012.htm");
    // Only the hang gets a short wait; a reset may come through as either reason.
    struct Mode {
      std::vector<std::string> options;
      std::string wait;
      std::vector<std::string> reasons;  // any of them
    };
    const std::vector<Mode> modes = {
        {{"--hang"}, "0.3", {"2012：超时"}},
        {{"--reset-mid-body"}, "60", {"2012：连接中断", "2012：网络错误"}},
        {{"--error", "7"}, "60", {"2012：错误 7 App Call Limited"}},
    };
    for (const Mode& mode : modes) {
      SandboxProcess hostile(mode.options);
      ASSERT_TRUE(hostile.running());
      EXPECT_EQ(batch("--wait " + mode.wait + " --gateway " + hostile.gateway() + keywords), 4)
          << mode.options[0] << err;
      EXPECT_EQ(read_file(dir / "prog/已生成/2012.htm"), good) << mode.options[0];
      EXPECT_TRUE(std::any_of(mode.reasons.begin(), mode.reasons.end(),
                              [&](const std::string& why) { return err.find(why) != std::string::npos; }))
          << err;
    }
  }
}

// Every page, the summary's counts and the exit status come out the same
// whatever the number of requests at a time, short links included.
TEST_F(BatchTool, JobCountsChangeNothingButSpeed) {
  for (const std::string& api : both_interfaces()) {
    std::string lines;
    for (int i = 1; i <= 6; ++i) lines += "k" + std::to_string(i) + ",w" + std::to_string(i) + "\n";
    write_file(dir / "k.txt", lines);
    const std::string common = " --short-links 2 --keywords-file '" + (dir / "k.txt").string() + "'" + api;
    std::map<std::string, std::string> first;
    std::string first_counts;
    for (const char* jobs : {"1", "4", "16"}) {
      fs::remove_all(dir / "prog/已生成");
      ASSERT_EQ(batch(std::string("--jobs ") + jobs + common), 0) << err;
      std::map<std::string, std::string> pages;
      for (const auto& entry : fs::directory_iterator(dir / "prog/已生成"))
        if (entry.is_regular_file()) pages[entry.path().filename().string()] = read_file(entry.path());
      const std::string counts = err.substr(err.find("完成："), err.find("，用时") - err.find("完成："));
      if (first.empty()) {
        first = pages;
        first_counts = counts;
        ASSERT_EQ(first.size(), 6u);
      }
      EXPECT_EQ(pages, first) << jobs;
      EXPECT_EQ(counts, first_counts) << jobs;
    }
  }
}

// A call-limit answer slows the run down and costs no retry; a busy service
// is asked again only --retries times, and then the call has failed. The
// requests are counted from the gateway's own log.
TEST_F(BatchTool, TurnedAwayCallsAreAskedAgain) {
  for (const std::string& api : both_interfaces()) {
    write_file(dir / "k.txt", "2012\n");
    const std::string keywords = " --keywords-file '" + (dir / "k.txt").string() + "'" + api;
    SandboxProcess limited({"--rate-limit", "1", "--ban-seconds", "0", "--isp-unavailable", "2"});
    ASSERT_TRUE(limited.running());
    auto gateway_calls = [&] {
      std::size_t calls = 0;
      for (const std::string& line : limited.log_lines())
        calls += line.find("/router/rest") != std::string::npos;
      return calls;
    };
    EXPECT_EQ(batch("--retries 2 --gateway " + limited.gateway() + keywords), 0) << err;
    EXPECT_EQ(gateway_calls(), 4u);
    write_file(dir / "k.txt", "2013\n");
    EXPECT_EQ(batch("--retries 1 --gateway " + limited.gateway() + keywords), 4) << err;
    EXPECT_EQ(gateway_calls(), 7u);
    EXPECT_NE(err.find("2013：错误 15 Remote service error"), std::string::npos) << err;
  }
}

TEST_F(BatchTool, WholeRunOverHttpsWithTheCertificateOfTheSettings) {
  SandboxProcess secure({"--tls"});
  ASSERT_TRUE(secure.running());
  const std::string url = secure.url();
  write_file(dir / "prog/Quillbatch.ini", gbk("[网络]\r\n网关=" + url + "/router/rest?\r\n百度=" + url +
                                              "\r\n图片服务器=" + secure.host() +
                                              "\r\n证书=" + secure.certificate_path().string() + "\r\n"));
  EXPECT_EQ(batch("--short-links 0"), 0) << err;
  EXPECT_NE(gbk_to_utf8(read_file(dir / "prog/已生成/2012.htm")).find(url + "/"), std::string::npos);
  // Without the certificate nothing is trusted: every call fails.
  write_file(dir / "prog/Quillbatch.ini", gbk("[网络]\r\n网关=" + url + "/router/rest?\r\n"));
  EXPECT_EQ(batch(""), 4) << err;
  EXPECT_NE(err.find("安全连接失败"), std::string::npos) << err;
}

TEST_F(BatchTool, TemplateWithoutProductLoopExitsWithOne) {
  write_file(dir / "prog/模板/空/模板文件.htm", gbk("<p>[#商品循环开始#][#商品循环结束#]</p>"));
  EXPECT_EQ(batch("--template 空"), 1);
  EXPECT_NE(err.find("当前选择的模板没有商品循环段落！"), std::string::npos) << err;
  EXPECT_FALSE(exists("prog/已生成"));
}

TEST_F(BatchTool, PageThatCannotBeWrittenExitsWithThree) {
  write_file(dir / "k.txt", "ok\n../outside\n");
  EXPECT_EQ(batch("--keywords-file '" + (dir / "k.txt").string() + "'"), 3);
  EXPECT_NE(err.find("写入页面 1，记录 20，无结果的调用 0，未能写入的页面 1"), std::string::npos) << err;
  EXPECT_FALSE(exists("prog/outside.htm"));
}

TEST_F(BatchTool, ReplaceAnswersFromTheOption) {
  write_file(dir / "prog/已生成/files/style.css", "mine");
  EXPECT_EQ(batch("--replace none --quiet"), 0);
  EXPECT_EQ(read_file(dir / "prog/已生成/files/style.css"), "mine");
  EXPECT_EQ(batch("--replace cancel --quiet"), 0);
  EXPECT_EQ(read_file(dir / "prog/已生成/files/style.css"), "mine");
  EXPECT_EQ(batch("--quiet"), 0);
  EXPECT_NE(read_file(dir / "prog/已生成/files/style.css"), "mine");
}

TEST_F(BatchTool, BadUsageExitsWithTwo) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--frobnicate", "unknown option --frobnicate"},
      {"extra", "unknown option extra"},
      {"--short-links 3", "--short-links takes 0, 1 or 2"},
      {"--replace maybe", "--replace takes all, none or cancel"},
      {"--jobs 17", "--jobs takes a number from 1 to 16"},
      {"--wait 0", "--wait takes a number of seconds from 0 to 3600"},
      {"--template 没有这个", "no template folder named 没有这个"},
      {"--keywords-file /nonexistent/k.txt", "cannot read the keywords file /nonexistent/k.txt"},
      {"--gateway", "--gateway needs a value"},
  };
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(batch(args), 2) << args;
    EXPECT_NE(err.find("quillmoor-batch: " + message + "\n(--help shows the options)"), std::string::npos)
        << args << ": " << err;
  }
  EXPECT_FALSE(exists("prog/已生成"));
}

TEST_F(BatchTool, HelpAndVersion) {
  EXPECT_EQ(batch("--help"), 0);
  EXPECT_NE(out.find("--keywords-file"), std::string::npos);
  EXPECT_EQ(batch("--version"), 0);
  EXPECT_EQ(out.rfind("quillmoor-batch ", 0), 0u);
}

}  // namespace
}  // namespace quill::testing
