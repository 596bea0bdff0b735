// The generation run end to end against quillmoor-sandbox on loopback, with the
// shipped default template.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>

#include "generator/generation_run.h"
#include "generator/run_fixture.h"
#include "support/sandbox_process.h"

namespace quill::testing {
namespace {

namespace fs = std::filesystem;

class SandboxRun : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    QUILL_SKIP_WITHOUT_SANDBOX();
    ASSERT_TRUE(sandbox.running());
    fs::copy(fs::path(QUILL_PROGRAM_DIR_PATH) / utf8_path("模板"), dir / "prog/模板",
             fs::copy_options::recursive);
    v.template_name = gbk("默认模板");
    v.keywords = gbk("女装,女鞋,女包\r\n2012\r\n连衣裙,毛衣");
    v.app_key = "31415926";
    v.app_secret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
    v.pid = "mm_1_2_3";
    use(sandbox);
  }
  void use(const SandboxProcess& s) {
    env.gateway = s.url() + "/router/rest?";
    env.short_link_services.baidu = env.short_link_services.cnzz = env.short_link_services.baid = s.url();
    env.picture_host = s.host();
  }
  static std::vector<std::string> all(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
      found.push_back((*it)[1]);
    return found;
  }
  std::vector<std::string> item_links(const std::string& name) {
    return all(page(name), "<a class=\"buy\" href=\"([^\"]*)\"");
  }
  std::vector<std::string> shop_links(const std::string& name) {
    return all(page(name), "<a class=\"shop\" href=\"([^\"]*)\"");
  }
  SandboxProcess sandbox;
};

TEST_F(SandboxRun, DefaultLinesGiveThreePagesRankedPerKeyword) {
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 3);
  EXPECT_EQ(s.records, 60);
  const std::string first = page("女装,女鞋,女包.htm");
  const auto ranks = all(first, "<span class=\"rank\">(\\d+)</span>");
  ASSERT_EQ(ranks.size(), 30u);
  for (std::size_t i = 0; i < ranks.size(); ++i) EXPECT_EQ(ranks[i], std::to_string(i % 10 + 1)) << i;
  EXPECT_NE(first.find("<title>女装,女鞋,女包 - 精选好货</title>"), std::string::npos);
  EXPECT_EQ(all(first, "<p class=\"tag\">#(.*)</p>")[10], "女鞋");
  EXPECT_EQ(all(page("2012.htm"), "<span class=\"rank\">(\\d+)</span>").size(), 10u);
  EXPECT_TRUE(exists("out/连衣裙,毛衣.htm"));
  EXPECT_TRUE(exists("out/files/style.css"));
  EXPECT_TRUE(exists("out/files/logo.svg"));
  // No placeholder is left over, and the escaped markup of the titles is gone.
  EXPECT_EQ(first.find("[#"), std::string::npos);
  EXPECT_EQ(first.find("&lt;"), std::string::npos);
}

// The current interface end to end: every placeholder of the shipped template
// filled from the nested answer, the keyword sent whole.
TEST_F(SandboxRun, CurrentInterfaceFillsThePageFromTheNestedAnswer) {
  env.api_method = "taobao.tbk.dg.material.optional.upgrade";
  v.keywords = gbk("H&M 连衣裙,2012");
  v.sort = 3;
  v.picture_size = 1;
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 1);
  EXPECT_EQ(s.records, 20);
  EXPECT_EQ(s.failed_calls, 0) << gbk_to_utf8(DescribeProblems(s));
  const std::string text = page("H&M 连衣裙,2012.htm");
  EXPECT_EQ(text.find("[#"), std::string::npos);
  EXPECT_EQ(text.find("<span class=H>"), std::string::npos);
  EXPECT_EQ(all(text, "<span class=\"rank\">(\\d+)</span>")[10], "1");
  EXPECT_EQ(all(text, "<p class=\"tag\">#(.*)</p>")[0], "H&amp;M 连衣裙");  // asked whole, written escaped
  const auto links = item_links("H&M 连衣裙,2012.htm");
  ASSERT_EQ(links.size(), 20u);
  for (const auto& link : links)
    EXPECT_TRUE(std::regex_match(link, std::regex(sandbox.url() + "/t\\?e=\\d+&adzone_id=3(&coupon=1)?")))
        << link;
  EXPECT_NE(links[0].find("&coupon=1"), std::string::npos);
  for (const auto& shop : shop_links("H&M 连衣裙,2012.htm"))
    EXPECT_TRUE(std::regex_match(
        shop, std::regex(R"(https://store\.taobao\.com/shop/view_shop\.htm\?user_number_id=100\d)")))
        << shop;
  for (const auto& badge : all(text, "<img class=\"badge\" src=\"([^\"]*)\"")) EXPECT_EQ(badge, "");
  for (const auto& picture : all(text, "<img src=\"([^\"]*)\" alt"))
    EXPECT_TRUE(picture.ends_with(".jpg_460x460.jpg"));
  const auto lines = sandbox.log_lines();
  ASSERT_EQ(lines.size(), 2u);
  for (const char* sent : {"\"q\":\"H&M 连衣裙\"", "\"adzone_id\":\"3\"", "\"page_size\":\"10\"",
                           "\"sort\":\"tk_rate_des\"", "\"format\":\"json\""})
    EXPECT_NE(lines[0].find(sent), std::string::npos) << sent << " in " << lines[0];
  EXPECT_EQ(lines[0].find("\"fields\""), std::string::npos);
}

// A setting the run cannot use: one message, no request, no page, no copy.
TEST_F(SandboxRun, UnusableInterfaceOrPidSendsAndWritesNothing) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"taobao.tbk.dg.material.optional.upgrade", "mm_1_2", "PID 应为 mm_数字_数字_数字"},
      {"taobao.tbk.dg.material.optional.upgrade", "", "PID 应为"},
      {"taobao.tbk.item.get", "mm_1_2_3", "“接口”只接受 taobao.taobaoke.items.get 或"},
      {" taobao.taobaoke.items.get", "mm_1_2_3", "“接口”只接受"},
  };
  for (const auto& [api, pid, message] : cases) {
    env.api_method = api;
    v.pid = pid;
    host.messages.clear();
    EXPECT_TRUE(run().refused) << api << " " << pid;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find(message), std::string::npos) << host.messages[0];
  }
  EXPECT_FALSE(exists("out"));
  EXPECT_TRUE(sandbox.log_lines().empty());
}

// The two platform errors a user can act on say what to do.
TEST_F(SandboxRun, ErrorsTheUserCanMendSayHow) {
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
      {{"--no-permission"},
       "taobao.tbk.dg.material.optional.upgrade",
       "错误 11 Insufficient ISV Permissions "
       "(isv.permission-api-package-empty)：应用缺少权限包「淘宝客【推广者】商品物料获取」"},
      {{"--error", "22"},
       "",
       "错误 22 Invalid Method：开放平台不认识接口 taobao.taobaoke.items.get，请在设置的“网络”中更换“接口”"},
      {{"--error", "22:isv.invalid-method"},
       "taobao.tbk.dg.material.optional.upgrade",
       "错误 22 Invalid Method (isv.invalid-method)：开放平台不认识接口 "
       "taobao.tbk.dg.material.optional.upgrade"},
  };
  v.keywords = "2012";
  for (const auto& [options, api, why] : cases) {
    SandboxProcess refusing(options);
    ASSERT_TRUE(refusing.running());
    use(refusing);
    env.api_method = api;
    const RunSummary s = run();
    EXPECT_EQ(s.failed_calls, 1) << options[0];
    EXPECT_NE(gbk_to_utf8(DescribeProblems(s)).find("2012：" + why), std::string::npos)
        << options[0] << ": " << gbk_to_utf8(DescribeProblems(s));
  }
}

TEST_F(SandboxRun, PathStyleOneCopiesFilesBesideEveryPage) {
  v.path_style = 1;
  EXPECT_EQ(run().pages_written, 3);
  for (const char* line : {"女装,女鞋,女包", "2012", "连衣裙,毛衣"}) {
    EXPECT_TRUE(exists(std::string("out/") + line + "/index.htm")) << line;
    EXPECT_TRUE(exists(std::string("out/") + line + "/files/no-picture.png")) << line;
  }
  EXPECT_FALSE(exists("out/files"));
}

TEST_F(SandboxRun, BadgesAndPicturesPointAtTheConfiguredServers) {
  v.keywords = "2012";
  v.picture_size = 1;
  run();
  const std::string text = page("2012.htm");
  const auto badges = all(text, "<img class=\"badge\" src=\"([^\"]*)\"");
  ASSERT_EQ(badges.size(), 10u);
  for (const auto& b : badges)
    EXPECT_TRUE(std::regex_match(
        b, std::regex("http://" + sandbox.host() + "/newrank/s_(red|blue|cap|crown)_[1-5]\\.gif")))
        << b;
  for (const auto& p : all(text, "<img src=\"([^\"]*)\" alt"))
    EXPECT_TRUE(p.ends_with(".jpg_460x460.jpg")) << p;
}

TEST_F(SandboxRun, ShortLinksFromEachService) {
  v.keywords = "2012";
  run();
  const auto long_items = item_links("2012.htm");
  const auto long_shops = shop_links("2012.htm");
  ASSERT_EQ(long_items.size(), 10u);
  v.short_links = true;
  for (int service : {0, 1, 2}) {
    v.service = service;
    run();
    const auto items = item_links("2012.htm");
    const auto shops = shop_links("2012.htm");
    ASSERT_EQ(items.size(), 10u);
    for (std::size_t i = 0; i < items.size(); ++i) {
      EXPECT_TRUE(std::regex_match(items[i], std::regex(sandbox.url() + "/s/[0-9A-Za-z]{6}")))
          << service << items[i];
      EXPECT_TRUE(std::regex_match(shops[i], std::regex(sandbox.url() + "/s/[0-9A-Za-z]{6}")))
          << service << shops[i];
      EXPECT_NE(items[i], long_items[i]);
    }
  }
  const std::string log = sandbox.log();
  EXPECT_NE(log.find("/create.php"), std::string::npos);
  EXPECT_NE(log.find("/v1/data/link_conv/rd_dispatcher.php"), std::string::npos);
}

TEST_F(SandboxRun, ShortenerDownKeepsTheLongLinks) {
  SandboxProcess down({"--shortener-down"});
  ASSERT_TRUE(down.running());
  use(down);
  v.keywords = "2012";
  run();
  const auto long_items = item_links("2012.htm");
  v.short_links = true;
  for (int service : {0, 1, 2}) {
    v.service = service;
    EXPECT_EQ(run().pages_written, 1);
    EXPECT_EQ(item_links("2012.htm"), long_items) << service;
  }
}

TEST_F(SandboxRun, TemplateWithoutShopLinkCostsNoShortLinkForIt) {
  write_file(dir / "prog/模板/plain/模板文件.htm",
             gbk("[#商品循环开始#]<a href=\"[#商品网址#]\">[#商品标题#]</a>[#商品循环结束#]"));
  v.template_name = "plain";
  v.keywords = "2012";
  v.count = "3";
  v.short_links = true;
  v.service = 2;
  run();
  const std::string log = sandbox.log();
  std::size_t shortened = 0;
  for (std::size_t at = log.find("\"path\":\"/\""); at != std::string::npos;
       at = log.find("\"path\":\"/\"", at + 1))
    ++shortened;
  EXPECT_EQ(shortened, 3u);
}

class ReplaceQuestion : public SandboxRun {
 protected:
  void SetUp() override {
    SandboxRun::SetUp();
    v.keywords = "2012";
    write_file(dir / "out/files/style.css", "old style");
    write_file(dir / "out/files/logo.svg", "old logo");
  }
};

TEST_F(ReplaceQuestion, YesToAllReplacesTheResources) {
  host.answer = ReplaceAnswer::yes_to_all;
  EXPECT_EQ(run().pages_written, 1);
  EXPECT_EQ(host.asked.size(), 1u);
  EXPECT_NE(read_file(dir / "out/files/style.css"), "old style");
  EXPECT_NE(read_file(dir / "out/files/logo.svg"), "old logo");
}

TEST_F(ReplaceQuestion, NoKeepsTheOldFilesAndThePageIsStillWritten) {
  host.answer = ReplaceAnswer::no;
  EXPECT_EQ(run().pages_written, 1);
  EXPECT_EQ(host.asked.size(), 2u);
  EXPECT_EQ(read_file(dir / "out/files/style.css"), "old style");
  EXPECT_TRUE(exists("out/files/no-picture.png"));
}

TEST_F(ReplaceQuestion, CancelStopsTheCopyButNotTheRun) {
  host.answer = ReplaceAnswer::cancel;
  EXPECT_EQ(run().pages_written, 1);
  EXPECT_EQ(host.asked.size(), 1u);
  EXPECT_EQ(read_file(dir / "out/files/style.css") + read_file(dir / "out/files/logo.svg"),
            "old styleold logo");
}

// Whatever a hostile gateway does, the run ends promptly, the good page stays
// byte for byte and the failure is named. Waits are a third of a second here.
// Only the modes that must time out get a short wait: the others fail on their
// own, however slowly a loaded machine lets the answer through. A reset may
// reach the platform's stack as a cut-off answer or as a plain network error.
TEST_F(SandboxRun, HostileGatewayNeverCostsAGoodPage) {
  using std::chrono::milliseconds;
  v.keywords = "2012";
  ASSERT_EQ(run().pages_written, 1);
  const std::string good = read_file(dir / "out/2012.htm");
  const milliseconds times_out(300), answers(60000);
  struct Mode {
    std::vector<std::string> options;
    milliseconds wait;
    std::vector<std::string> reasons;  // any of them; none listed: any reason
  };
  const std::vector<Mode> modes = {
      {{"--hang"}, times_out, {"超时"}},
      {{"--drip-ms", "50"}, times_out, {"超时"}},
      {{"--reset-mid-body"}, answers, {"连接中断", "网络错误"}},
      {{"--endless"}, times_out, {}},  // cut off at the size cap or the ceiling, whichever comes first
      {{"--error", "15:isp.remote-service-error"}, answers, {"错误 15"}},
      {{"--drop"}, answers, {}},
  };
  for (const Mode& mode : modes) {
    const std::string& name = mode.options[0];
    SandboxProcess hostile(mode.options);
    ASSERT_TRUE(hostile.running()) << name;
    use(hostile);
    env.api_wait = mode.wait;
    const auto started = std::chrono::steady_clock::now();
    const RunSummary s = run();
    // Far beyond any loaded machine's delay, far below a wait that never ends.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)) << name;
    EXPECT_EQ(s.failed_calls, 1) << name;
    EXPECT_EQ(s.pages_kept, 1) << name;
    EXPECT_EQ(read_file(dir / "out/2012.htm"), good) << name;
    const std::string problems = gbk_to_utf8(DescribeProblems(s));
    const bool says_why = mode.reasons.empty() || std::any_of(mode.reasons.begin(), mode.reasons.end(),
                                                               [&](const std::string& why) {
                                                                 return problems.find("2012：" + why) !=
                                                                        std::string::npos;
                                                               });
    EXPECT_TRUE(says_why) << name << ": " << problems;
  }
}

TEST_F(SandboxRun, ShortLinkServiceThatNeverAnswersIsAskedOnce) {
  SandboxProcess hanging({"--shortener-hang"});
  ASSERT_TRUE(hanging.running());
  use(hanging);
  env.short_link_wait = std::chrono::milliseconds(200);
  v.keywords = "2012";
  v.short_links = true;
  v.service = 1;
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 1);
  ASSERT_EQ(s.short_link_outages.size(), 1u);
  std::size_t asked = 0;
  for (const std::string& line : hanging.log_lines())
    asked += line.find("rd_dispatcher") != std::string::npos;
  EXPECT_EQ(asked, 1u);
  EXPECT_EQ(item_links("2012.htm").size(), 10u);
  EXPECT_EQ(item_links("2012.htm")[0].rfind(hanging.url(), 0), 0u);  // the long link stayed
  EXPECT_NE(gbk_to_utf8(DescribeProblems(s)).find("短网址服务“CNZZ”无回应（超时）"), std::string::npos);
}

}  // namespace
}  // namespace quill::testing
