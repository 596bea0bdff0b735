#include "openapi/api_call.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "base/codepage.h"
#include "base/regex_object.h"
#include "openapi/await_call.h"
#include "support/loopback_server.h"
#include "support/sandbox_process.h"

namespace quill::openapi {
namespace {

using testing::SandboxProcess;
using testing::ScratchFolder;
using testing::write_file;

constexpr const char* kKey = "31415926";
constexpr const char* kSecret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
constexpr const char* kMethod = "taobao.taobaoke.items.get";

ParamList query(const Text& keyword, int count = 40, const Text& sort = "commissionNum_desc") {
  return {
      {"keyword", keyword},
      {"pid", "mm_123_456_789"},
      {"fields",
       "num_iid,title,nick,pic_url,price,click_url,shop_click_url,seller_credit_score,item_location,volume"},
      {"sort", sort},
      {"page_no", "1"},
      {"page_size", std::to_string(count)}};
}

int occurrences(const Text& text, const Text& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != Text::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

TEST(CleanResponse, RemovesEscapedMarkupAndUnescapesAmpersands) {
  EXPECT_EQ(CleanResponse("<title>Summer &lt;span class=H&gt;dress&lt;/span&gt; &amp; shoes</title>"),
            "<title>Summer dress & shoes</title>");
  EXPECT_EQ(CleanResponse("&amp;amp;"), "&");
  EXPECT_EQ(CleanResponse("a &amp;lt;b&amp;gt; c"), "a  c");
  EXPECT_EQ(CleanResponse("camp; x"), "c x");
}

TEST(CleanResponse, LoneLessThanAndLineBreaksKeepTheBrackets) {
  Text lt = gbk("＜");
  Text gt = gbk("＞");
  EXPECT_EQ(CleanResponse("a &lt;b c"), "a " + lt + "b c");
  EXPECT_EQ(CleanResponse("x &lt;b\n&gt; y"), "x " + lt + "b\n" + gt + " y");
  EXPECT_EQ(CleanResponse(gbk("已有＜全角＞括号")), gbk("已有括号"));
  EXPECT_EQ(CleanResponse(""), "");
}

// The clean-up hands only the stretches after each "＜" to the engine; on any
// mix of lines it must agree with one replacement over the whole text.
TEST(CleanResponse, AgreesWithOneReplacementOverTheWholeText) {
  RegexObject whole;
  ASSERT_TRUE(whole.Create(gbk("＜.*?＞"), false, std::nullopt, true));
  const std::vector<Text> pieces = {gbk("＜b＞"), gbk("＜"),   gbk("＞"),      "\n", "\r\n",
                                    "ab",         gbk("中文"), gbk("＜x\n＞"), " "};
  std::srand(7);
  for (int round = 0; round < 500; ++round) {
    Text text;
    for (int i = std::rand() % 12; i > 0; --i)
      text += pieces[static_cast<std::size_t>(std::rand()) % pieces.size()];
    EXPECT_EQ(CleanResponse(text), whole.ReplaceMatches(text, Text())) << gbk_to_utf8(text);
  }
  // Lines without markup keep even bytes that are not valid GBK.
  EXPECT_EQ(CleanResponse("\xA3\n" + gbk("＜b＞x")), "\xA3\nx");
}

class ApiCallTest : public ::testing::Test {
 protected:
  SandboxProcess sandbox;
  void SetUp() override {
    QUILL_SKIP_WITHOUT_SANDBOX();
    ASSERT_TRUE(sandbox.running());
  }
  Text call(const ParamList& q, const char* key = kKey, const char* secret = kSecret) {
    return testing::AwaitCall({sandbox.gateway(), key, secret, kMethod, q, "", ""});
  }
};

TEST_F(ApiCallTest, DefaultSettingsGetACleanedItemList) {
  Text answer = call(query(gbk("连衣裙")));
  EXPECT_EQ(occurrences(answer, "<taobaoke_item>"), 40);
  EXPECT_EQ(occurrences(answer, "<click_url>"), 40);
  EXPECT_EQ(answer.find("&lt;"), Text::npos);
  EXPECT_EQ(answer.find("amp;"), Text::npos);
  EXPECT_EQ(answer.find(gbk("＜")), Text::npos);
  EXPECT_NE(answer.find(gbk("2026新款 连衣裙 韩版修身")), Text::npos);
  EXPECT_NE(answer.find(gbk("买二送一 & 七天")), Text::npos);
  EXPECT_NE(answer.find("pid=mm_123_456_789"), Text::npos);
  EXPECT_NE(answer.find("&pid="), Text::npos);
}

TEST_F(ApiCallTest, ItemChildrenComeInAlphabeticalOrder) {
  Text answer = call(query("abc", 1));
  const char* order[] = {"<click_url>",
                         "<commission>",
                         "<commission_num>",
                         "<commission_rate>",
                         "<commission_volume>",
                         "<item_location>",
                         "<nick>",
                         "<num_iid>",
                         "<pic_url>",
                         "<price>",
                         "<seller_credit_score>",
                         "<shop_click_url>",
                         "<title>",
                         "<volume>"};
  std::size_t last = 0;
  for (const char* tag : order) {
    std::size_t at = answer.find(tag);
    ASSERT_NE(at, Text::npos) << tag;
    EXPECT_GT(at, last) << tag;
    last = at;
  }
}

TEST_F(ApiCallTest, SameKeywordSameAnswerAndPageSizeIsHonoured) {
  EXPECT_EQ(call(query("shoes", 7)), call(query("shoes", 7)));
  EXPECT_EQ(occurrences(call(query("shoes", 7)), "<taobaoke_item>"), 7);
  EXPECT_NE(call(query("shoes", 7, "price_asc")), call(query("shoes", 7, "price_desc")));
}

TEST_F(ApiCallTest, WrongSecretOrKeyGetsAnErrorResponseWithoutItems) {
  Text wrong_secret = call(query("abc"), kKey, "not-the-secret");
  EXPECT_NE(wrong_secret.find("<code>25</code>"), Text::npos);
  EXPECT_EQ(wrong_secret.find("<click_url>"), Text::npos);
  Text wrong_key = call(query("abc"), "27182818", kSecret);
  EXPECT_NE(wrong_key.find("<code>29</code>"), Text::npos);
}

TEST_F(ApiCallTest, EmptyKeyOrSecretSendsNothing) {
  EXPECT_EQ(call(query("abc"), "", kSecret), "");
  EXPECT_EQ(call(query("abc"), kKey, ""), "");
  EXPECT_TRUE(sandbox.log_lines().empty());
}

TEST_F(ApiCallTest, ReservedCharactersInAValueReachTheGatewayIntact) {
  Text answer = call(query("H&M a=b+c%20d"));
  EXPECT_NE(answer.find("<click_url>"), Text::npos) << answer;
  auto lines = sandbox.log_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"keyword\":\"H&M a=b+c%20d\""), Text::npos) << lines[0];
  EXPECT_NE(lines[0].find("\"User-Agent\":\"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\""),
            Text::npos);
}

TEST_F(ApiCallTest, EmptyValuesAreNotSent) {
  call(query("abc", 5, ""));
  auto lines = sandbox.log_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find("\"sort\""), Text::npos);
  EXPECT_EQ(lines[0].find("\"session\""), Text::npos);
}

#ifndef _WIN32  // the zone comes from TZ on POSIX only
// The gateway refuses timestamps more than ten minutes away from Beijing time.
TEST_F(ApiCallTest, TimestampIsBeijingTimeWhateverTheLocalZone) {
  const char* old = std::getenv("TZ");
  Text saved = old ? old : "";
  for (const char* zone : {"America/New_York", "Pacific/Kiritimati", "UTC"}) {
    setenv("TZ", zone, 1);
    tzset();
    EXPECT_NE(call(query("abc", 1)).find("<click_url>"), Text::npos) << zone;
  }
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}
#endif

TEST(ApiCallFaults, InvalidUtf8AnswerIsStillDecoded) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  SandboxProcess sandbox({"--invalid-utf8"});
  ASSERT_TRUE(sandbox.running());
  Text answer = testing::AwaitCall({sandbox.gateway(), kKey, kSecret, kMethod, query("abc", 3), "", ""});
  EXPECT_EQ(occurrences(answer, "<title>"), 3);
  EXPECT_NE(answer.find(" bad "), Text::npos);
}

TEST(ApiCallFaults, DroppedTruncatedAndHugeAnswersGiveEmptyText) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  for (const char* fault : {"--drop", "--truncate", "--huge-body"}) {
    SandboxProcess sandbox({fault});
    ASSERT_TRUE(sandbox.running()) << fault;
    EXPECT_EQ(testing::AwaitCall({sandbox.gateway(), kKey, kSecret, kMethod, query("abc"), "", ""}), "")
        << fault;
  }
}

TEST(ApiCallFaults, NoServerGivesEmptyText) {
  EXPECT_EQ(
      testing::AwaitCall({"http://127.0.0.1:1/router/rest?", kKey, kSecret, kMethod, query("abc"), "", ""}),
      "");
}

// Only the platform's own answer document counts: any other HTTP answer fails
// the call and names its status, whatever its body holds.
TEST(ApiCallAnswers, OnlyThePlatformsAnswerDocumentCounts) {
  constexpr const char* kJsonMethod = "taobao.tbk.dg.material.optional.upgrade";
  const std::string items =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><taobaoke_items_get_response><taobaoke_items>"
      "<taobaoke_item><click_url>http://x/t</click_url></taobaoke_item><taobaoke_item><click_url>http://x/u"
      "</click_url></taobaoke_item><taobaoke_item><click_url>http://x/v</click_url></taobaoke_item>"
      "</taobaoke_items></taobaoke_items_get_response>";
  const std::string json_items =
      R"({"tbk_dg_material_optional_upgrade_response":{"result_list":{"map_data":[]}}})";
  const std::string portal = "<html><head><title>Hotel WiFi</title></head><body>Log in</body></html>";
  auto reply = [](std::string status, const std::string& body, std::string headers = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
           "Connection: close\r\n\r\n" + body;
  };
  testing::LoopbackServer elsewhere([&](testing::LoopbackConnection& c) { c.send(reply("200 OK", portal)); });
  struct Case {
    const char* what;
    const char* method;
    std::string bytes;
    bool fails;
    const char* reason;  // contained in the reason of a failed call
  };
  const std::vector<Case> cases = {
      {"503 page", kMethod, reply("503 Service Unavailable", "<html>busy</html>"), true, "HTTP 503"},
      {"502 empty", kMethod, reply("502 Bad Gateway", ""), true, "HTTP 502"},
      {"404 empty", kMethod, reply("404 Not Found", ""), true, "HTTP 404"},
      {"200 empty", kMethod, reply("200 OK", ""), true, "HTTP 200"},
      {"captive portal", kMethod, reply("200 OK", portal), true, "HTTP 200"},
      {"cut header block", kMethod, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Le", true, ""},
      {"302 elsewhere", kMethod, reply("302 Found", "", "Location: " + elsewhere.url("/portal") + "\r\n"),
       true, "HTTP 200"},
      {"500 with records", kMethod, reply("500 Internal Server Error", items), true, "HTTP 500"},
      {"cut document", kMethod, reply("200 OK", items.substr(0, items.size() - 5)), true, "HTTP 200"},
      {"another method's", kMethod, reply("200 OK", "<a_response></a_response>"), true, "HTTP 200"},
      {"items", kMethod, reply("200 OK", items), false, ""},
      {"no records", kMethod,
       reply("200 OK",
             "<taobaoke_items_get_response><total_results>0</total_results></taobaoke_items_get_response>\n"),
       false, ""},
      {"empty root", kMethod, reply("200 OK", "<taobaoke_items_get_response/>"), false, ""},
      {"error", kMethod, reply("200 OK", "<error_response><code>7</code><msg>m</msg></error_response>"), true,
       "7 m"},
      {"json items", kJsonMethod, reply("200 OK", json_items), false, ""},
      {"json error", kJsonMethod,
       reply("200 OK", R"({"error_response":{"code":11,"msg":"m","sub_code":"s","sub_msg":"t"}})"), true,
       "11 m (s)"},
      {"json, neither root", kJsonMethod, reply("200 OK", R"({"other_response":{}})"), true, "HTTP 200"},
      {"json nested past any answer", kJsonMethod,
       reply("200 OK", "{\"tbk_dg_material_optional_upgrade_response\":{\"a\":" + std::string(40, '[') +
                           std::string(40, ']') + "}}"),
       true, "HTTP 200"},
      {"json cut", kJsonMethod, reply("200 OK", json_items.substr(0, 30)), true, "HTTP 200"},
      {"xml for json", kJsonMethod, reply("200 OK", items), true, "HTTP 200"},
      {"json 500", kJsonMethod, reply("500 Internal Server Error", json_items), true, "HTTP 500"},
  };
  for (const Case& c : cases) {
    testing::LoopbackServer server(
        [&](testing::LoopbackConnection& connection) { connection.send(c.bytes); });
    const Text format = c.method == std::string_view(kJsonMethod) ? "json" : "";
    ApiOutcome outcome;
    const Text answer = testing::AwaitCall(
        {server.url("/router/rest?"), kKey, kSecret, c.method, {}, "", format}, {&NoUiWaiter(), kApiWait, {}},
        &outcome, {0});
    EXPECT_EQ(outcome.failed(), c.fails) << c.what << ": " << outcome.reason();
    EXPECT_NE(gbk_to_utf8(outcome.reason()).find(c.reason), std::string::npos)
        << c.what << ": " << outcome.reason();
    if (!outcome.error_answer) {
      EXPECT_EQ(answer.empty(), c.fails) << c.what;
    }
  }
}

}  // namespace
}  // namespace quill::openapi
