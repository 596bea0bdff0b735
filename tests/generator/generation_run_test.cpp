#include "generator/generation_run.h"

#include <gtest/gtest.h>

#include "generator/answer_server.h"
#include "generator/run_fixture.h"
#include "generator/template_format.h"

namespace quill::testing {
namespace {

namespace fs = std::filesystem;

Record record(int n, const std::string& word) {
  const std::string i = std::to_string(n);
  return Record{"http://s.click.example/t?i=" + i + "&amp;w=1",
                "卖家" + i,
                "http://img.example/" + i + ".jpg",
                i + ".50",
                std::to_string(n * 4),
                "http://shop.example/s" + i,
                word + " &lt;span class=H&gt;宝贝&lt;/span&gt; " + i,
                std::to_string(100 + n)};
}

std::vector<Record> records(int count, const std::string& word) {
  std::vector<Record> list;
  for (int n = 1; n <= count; ++n) list.push_back(record(n, word));
  return list;
}

class Run : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    env.gateway = server.gateway();
    env.picture_host = "pics.example";
  }
  // The item lines of a page (between <ol> and </ol>).
  std::vector<std::string> items(const std::string& page_name) {
    const std::string text = page(page_name);
    std::vector<std::string> lines;
    std::size_t pos = text.find("<li>");
    while (pos != std::string::npos) {
      const std::size_t end = text.find("</li>", pos);
      lines.push_back(text.substr(pos + 4, end - pos - 4));
      pos = text.find("<li>", end);
    }
    return lines;
  }
  AnswerServer server;
};

TEST_F(Run, DefaultLinesGiveThreePagesMatchingTheExpectedFiles) {
  v.keywords = gbk("女装,女鞋,女包\r\n2012\r\n连衣裙,毛衣");
  server.answer("女装", answer_xml(records(2, "女装")));
  server.answer("女鞋", answer_xml(records(3, "女鞋")));
  server.answer("女包", answer_xml(records(1, "女包")));
  server.answer("2012", answer_xml(records(2, "2012")));
  server.answer("连衣裙", answer_xml(records(1, "连衣裙")));
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 3);
  EXPECT_EQ(s.records, 9);
  EXPECT_EQ(s.empty_calls, 1);  // 毛衣 has no answer of its own
  for (const char* name : {"女装,女鞋,女包.htm", "2012.htm", "连衣裙,毛衣.htm"}) {
    EXPECT_EQ(read_file(dir / "out" / name),
              read_file(fs::path(QUILL_GENERATOR_TEST_DATA) / "expected" / name))
        << name;
  }
  EXPECT_EQ(host.titles, (std::vector<std::string>{"正在生成..女装,女鞋,女包", "正在生成..2012",
                                                   "正在生成..连衣裙,毛衣", "Quillmoor"}));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"1/3 女装,女鞋,女包", "2/3 2012", "3/3 连衣裙,毛衣"}));
  EXPECT_TRUE(exists("out/files/img/p.png"));
}

TEST_F(Run, RequestCarriesKeywordPidFieldsSortAndCount) {
  v.keywords = gbk("夏装，短裙");
  v.count = gbk("５０");
  v.pid = "mm_1_2_3";
  run();
  const auto forms = server.forms();
  ASSERT_EQ(forms.size(), 1u);
  const Form& f = forms[0];
  EXPECT_EQ(f.at("keyword"), "夏装，短裙");
  EXPECT_EQ(f.at("pid"), "mm_1_2_3");
  EXPECT_EQ(f.at("page_size"), "40");
  EXPECT_EQ(f.at("page_no"), "1");
  EXPECT_EQ(f.at("sort"), "commissionNum_desc");
  EXPECT_EQ(f.at("method"), "taobao.taobaoke.items.get");
  EXPECT_EQ(
      f.at("fields"),
      "num_iid,title,nick,pic_url,price,click_url,shop_click_url,seller_credit_score,item_location,volume");
}

TEST_F(Run, CountTextsAreSentAsTheyConvertAndSortOutsideTheListIsLeftOut) {
  v.keywords = "a";
  v.sort = -1;
  for (const char* count : {"0", "-5", "abc", "12x"}) {
    v.count = count;
    run();
  }
  v.sort = 0;
  run();
  const auto forms = server.forms();
  ASSERT_EQ(forms.size(), 5u);
  EXPECT_EQ(forms[0].at("page_size"), "0");
  EXPECT_EQ(forms[1].at("page_size"), "-5");
  EXPECT_EQ(forms[2].at("page_size"), "0");
  EXPECT_EQ(forms[3].at("page_size"), "12");
  EXPECT_EQ(forms[0].count("sort"), 0u);
  EXPECT_EQ(forms[4].at("sort"), "price_desc");
}

TEST_F(Run, RanksStartAgainForEveryKeywordOfTheGroup) {
  v.keywords = "a,b";
  server.answer("a", answer_xml(records(3, "a")));
  server.answer("b", answer_xml(records(2, "b")));
  run();
  const auto lines = items("a,b.htm");
  ASSERT_EQ(lines.size(), 5u);
  std::string ranks;
  for (const auto& line : lines)
    ranks += line.substr(0, line.find('.')) + (line.find("(a)") != std::string::npos ? "a" : "b");
  EXPECT_EQ(ranks, "1a2a3a1b2b");
}

TEST_F(Run, MissingFieldIsEmptyForItsOwnRecordOnly) {
  v.keywords = "k";
  v.picture_size = 0;
  std::vector<Record> list = records(2, "k");
  list[0].pic_url.clear();
  list[0].price.clear();
  server.answer("k", answer_xml(list));
  run();
  const auto lines = items("k.htm");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("<img src=\"\"> ￥ 售101"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("<img src=\"http://img.example/2.jpg\"> ￥2.50"), std::string::npos) << lines[1];
}

TEST_F(Run, EmptyShopLinkDoesNotEndTheWalkAndRecordsWithoutLinkAreSkipped) {
  v.keywords = "k";
  std::vector<Record> list = records(4, "k");
  list[0].shop_click_url.clear();
  list[1].click_url.clear();
  server.answer("k", answer_xml(list));
  const RunSummary s = run();
  const auto lines = items("k.htm");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("<a href=\"\">店</a>"), std::string::npos);
  EXPECT_EQ(lines[1].substr(0, 2), "2.");
  EXPECT_NE(lines[1].find("i=3&w=1"), std::string::npos);
  EXPECT_EQ(s.records, 3);
}

TEST_F(Run, PictureSizeSuffix) {
  v.keywords = "k";
  server.answer("k", answer_xml(records(1, "k")));
  const std::pair<int, std::string> cases[] = {{0, "http://img.example/1.jpg\""},
                                               {1, "1.jpg_460x460.jpg\""},
                                               {3, "1.jpg_210x210.jpg\""},
                                               {-1, "1.jpg_.jpg\""}};
  for (const auto& [size, expected] : cases) {
    v.picture_size = size;
    run();
    EXPECT_NE(items("k.htm").at(0).find(expected), std::string::npos) << size;
  }
}

TEST_F(Run, CreditBadgeFromScoreOnThePictureHost) {
  v.keywords = "k";
  std::vector<Record> list = records(3, "k");  // scores 4, 8, 12
  list[2].score = "abc";
  server.answer("k", answer_xml(list));
  run();
  const auto lines = items("k.htm");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("http://pics.example/newrank/s_red_4.gif"), std::string::npos);
  EXPECT_NE(lines[1].find("http://pics.example/newrank/s_blue_3.gif"), std::string::npos);
  EXPECT_NE(lines[2].find("http://pics.example/newrank/s_crown_5.gif"), std::string::npos);
}

TEST_F(Run, BlankLinesAreSkippedAndLinesTrimmed) {
  v.keywords = gbk("  a  \r\n\r\n   \r\n　b\r\n");
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 2);
  EXPECT_TRUE(exists("out/a.htm"));
  EXPECT_TRUE(exists("out/b.htm"));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"1/4 a", "4/4 b"}));
}

TEST_F(Run, EmptyKeywordBoxWritesNoPageButCopiesFiles) {
  v.keywords = "";
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 0);
  EXPECT_TRUE(server.forms().empty());
  EXPECT_EQ(host.titles, std::vector<std::string>{"Quillmoor"});
  EXPECT_TRUE(exists("out/files/s.css"));
}

TEST_F(Run, TemplateWithoutProductLoopShowsTheMessageAndWritesNothing) {
  v.keywords = "a";
  const auto& m = Markers();
  for (const std::string& text :
       {std::string("<p>") + m.loop_start + m.loop_end, std::string("[#商品循环开始#]x[#商品循环结束#]")}) {
    write_file(dir / "prog/模板/small/模板文件.htm", text);
    const RunSummary s = run();
    EXPECT_TRUE(s.no_product_loop);
  }
  v.template_name = "";
  EXPECT_TRUE(run().no_product_loop);
  EXPECT_EQ(host.messages, std::vector<std::string>(3, "当前选择的模板没有商品循环段落！"));
  EXPECT_TRUE(server.forms().empty());
  EXPECT_TRUE(host.titles.empty());
  EXPECT_FALSE(exists("out"));
}

TEST_F(Run, PathStyleOneWritesIndexAndFilesPerLine) {
  v.keywords = gbk("甲\r\n乙");
  v.path_style = 1;
  EXPECT_EQ(run().pages_written, 2);
  EXPECT_TRUE(exists("out/甲/index.htm"));
  EXPECT_TRUE(exists("out/乙/files/img/p.png"));
  EXPECT_FALSE(exists("out/files"));
}

TEST_F(Run, NoPathStyleWritesPagesWithoutFiles) {
  v.keywords = "a";
  v.path_style = -1;
  EXPECT_EQ(run().pages_written, 1);
  EXPECT_TRUE(exists("out/a.htm"));
  EXPECT_FALSE(exists("out/files"));
}

TEST_F(Run, MissingSaveFolderIsCreatedForATemplateWithoutFiles) {
  fs::remove_all(dir / "prog/模板/small/files");
  v.keywords = "a\r\nb";
  v.save_folder = dir.gbk_path("new/deeper");
  EXPECT_EQ(run().pages_written, 2);
  EXPECT_TRUE(exists("new/deeper/a.htm"));
  v.path_style = 1;
  EXPECT_EQ(run().pages_written, 2);
  EXPECT_TRUE(exists("new/deeper/b/index.htm"));
}

TEST_F(Run, LineThatWouldLeaveTheSaveFolderGetsNoPage) {
  v.keywords = "../escaped\r\nok\r\na/../../up\r\n/abs";
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 1);
  EXPECT_EQ(s.pages_failed, 3);
  EXPECT_FALSE(exists("escaped.htm"));
  EXPECT_FALSE(exists("up.htm"));
  EXPECT_TRUE(exists("out/ok.htm"));
}

// A separator in a line names a page in an existing subfolder; a missing one,
// or a character no file name may hold, fails the line with a reason that
// names the character.
TEST_F(Run, PageNameFailuresNameTheCharacter) {
  struct Case {
    std::string line, page, reason;  // page: written there; reason: else in the line's problem
  };
  const Case cases[] = {
      {"sub/a", "out/sub/a.htm", ""},
      {"none/b", "", "“/”"},
#ifdef _WIN32
      {"sub\\c", "out/sub/c.htm", ""},
      {"none\\d", "", "“\\”"},
      {"a?b", "", "“?”"},
      {"C<D", "", "“<”"},
      {"x\ty", "", "“\t”"},
#else
      {"a?b", "out/a?b.htm", ""},
      {"C<D", "out/C<D.htm", ""},
#endif
  };
  fs::create_directories(dir / "out/sub");
  server.answer_others(answer_xml(records(1, "x")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    v.keywords = c.line;
    const RunSummary s = run();
    if (!c.page.empty()) {
      EXPECT_EQ(s.pages_written, 1);
      EXPECT_TRUE(exists(c.page));
      continue;
    }
    EXPECT_EQ(s.pages_failed, 1);
    ASSERT_EQ(s.line_problems.size(), 1u);
    EXPECT_NE(gbk_to_utf8(s.line_problems[0].why).find(c.reason), std::string::npos)
        << gbk_to_utf8(s.line_problems[0].why);
  }
}

// "€" is the single byte 0x80 in the code page; it must never swallow the byte
// after it, in a keyword line, an answer or a template.
TEST_F(Run, EuroSignIsOneCharacterEverywhere) {
  write_file(dir / "prog/模板/small/模板文件.htm",
             gbk("[#商品循环开始#]<li>€[#商品价格#] [#商品标题#]|[#卖家昵称#]</li>[#商品循环结束#]"));
  v.keywords = gbk("欧元价€\r\n9€,毛衣");
  Record euro = record(1, "x");
  euro.title = "标题€";
  euro.nick = "卖家€";
  server.answer_others(answer_xml({euro}));
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 2);
  EXPECT_EQ(gbk_to_utf8(read_file(dir / ("out/" + gbk_to_utf8(gbk("欧元价€.htm"))))),
            "<li>€1.50 标题€|卖家€</li>\r\n");
  std::vector<std::string> keywords;
  for (const Form& form : server.forms()) keywords.push_back(form.at("keyword"));
  EXPECT_EQ(keywords, (std::vector<std::string>{"欧元价€", "9€", "毛衣"}));
}

TEST_F(Run, LineHoldingANulFailsWithoutACutName) {
  v.keywords = std::string("ab\0cd\r\nok", 9);
  server.answer_others(answer_xml(records(1, "x")));
  const RunSummary s = run();
  EXPECT_EQ(s.pages_written, 1);
  EXPECT_EQ(s.pages_failed, 1);
  EXPECT_FALSE(exists("out/ab.htm"));
  EXPECT_FALSE(exists("out/ab"));
}

TEST_F(Run, OutageKeepsGoodPagesAndSaysWhy) {
  v.keywords = "a,b\r\nc";
  server.answer_others(answer_xml(records(2, "x")));
  ASSERT_EQ(run().pages_written, 2);
  const std::string good = read_file(dir / "out/a,b.htm");

  env.gateway = "http://127.0.0.1:1/router/rest?";
  v.keywords = "a,b\r\nc\r\nnew";
  const RunSummary s = run();
  EXPECT_EQ(read_file(dir / "out/a,b.htm"), good);
  EXPECT_EQ(s.pages_kept, 2);
  EXPECT_EQ(s.pages_written, 1);  // no page to keep: written as before, empty
  EXPECT_TRUE(items("new.htm").empty());
  EXPECT_EQ(s.failed_calls, 4);
  EXPECT_EQ(s.failed_lines, 3);
  const std::string report = gbk_to_utf8(DescribeProblems(s));
  EXPECT_NE(report.find("3 行未能按要求生成（4 次调用失败）"), std::string::npos) << report;
  EXPECT_NE(report.find("a,b：连接被拒绝"), std::string::npos) << report;
}

TEST_F(Run, ErrorAnswerIsAFailedCallThatKeepsThePage) {
  v.keywords = "a";
  server.answer_others(answer_xml(records(1, "x")));
  run();
  const std::string good = read_file(dir / "out/a.htm");
  server.answer_others("<error_response><code>27</code><msg>Invalid session</msg></error_response>");
  const RunSummary s = run();
  EXPECT_EQ(read_file(dir / "out/a.htm"), good);
  EXPECT_EQ(s.pages_kept, 1);
  EXPECT_NE(gbk_to_utf8(DescribeProblems(s)).find("错误 27 Invalid session"), std::string::npos);
}

TEST_F(Run, AnAnswerGivesAtMostThePageSizeAskedFor) {
  v.keywords = "a";
  server.answer_others(answer_xml(records(100, "x")));
  v.count = "7";
  EXPECT_EQ(run().records, 7);
  v.count = "0";
  EXPECT_EQ(run().records, 40);
  v.count = "-5";
  EXPECT_EQ(run().records, 40);
}

TEST_F(Run, StopTouchesNothingAfterwards) {
  v.keywords = "a\r\nb";
  server.answer_others(answer_xml(records(1, "x")));
  host.stop.request_stop();
  EXPECT_TRUE(run().stopped);
  EXPECT_TRUE(server.forms().empty());

  // A window that goes away while a call waits: no page, no title, no more reads.
  RecordingHost waiting;
  waiting.stop_after_pumps = 2;
  server.hold();
  ValueControls controls(v);
  const RunSummary s = RunGeneration({controls, waiting, env, waiting});
  EXPECT_TRUE(s.stopped);
  EXPECT_EQ(s.pages_written, 0);
  EXPECT_EQ(controls.reads["key"], 1);
  EXPECT_EQ(controls.reads["path_style"], 1);  // the one before the lines
  ASSERT_FALSE(waiting.titles.empty());
  EXPECT_NE(waiting.titles.back(), "Quillmoor");
  EXPECT_FALSE(exists("out/a.htm"));
}

}  // namespace
}  // namespace quill::testing
