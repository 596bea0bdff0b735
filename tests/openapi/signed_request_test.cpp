#include "openapi/signed_request.h"

#include <gtest/gtest.h>

#include "base/codepage.h"

namespace quill::openapi {
namespace {

const DateTime kWhen{2026, 3, 4, 5, 6, 7};

std::vector<Text> names(const ParamList& pairs) {
  std::vector<Text> out;
  for (const ParamPair& p : pairs) out.push_back(p.name);
  return out;
}

ParamList example_business(Text sort) {
  return {{"keyword", gbk("连衣裙")}, {"pid", "mm_1_2_3"}, {"fields", "num_iid,title"},
          {"sort", std::move(sort)},  {"page_no", "1"},    {"page_size", "10"}};
}

TEST(BuildSignedForm, MatchesASignatureWorkedOutByHand) {
  // printf '%s' 'abcdefapp_key12345678fieldsnum_iid,titleformatxmlkeyword连衣裙method
  // taobao.taobaoke.items.getpage_no1page_size10pidmm_1_2_3sign_methodmd5timestamp
  // 2026-03-04 05:06:07v2.0abcdef' | md5sum  (one line, UTF-8)
  Text format;
  SignedForm form = BuildSignedForm("12345678", "abcdef", "taobao.taobaoke.items.get", example_business(""),
                                    "", format, kWhen);
  EXPECT_EQ(form.signature, "390B3BCEB8DB18B79E4305E97301BB2E");
  EXPECT_EQ(form.body,
            "app_key=12345678&fields=num_iid%2Ctitle&format=xml&keyword=%E8%BF%9E%E8%A1%A3%E8%A3%99"
            "&method=taobao.taobaoke.items.get&page_no=1&page_size=10&pid=mm_1_2_3&sign_method=md5"
            "&timestamp=2026-03-04%2005%3A06%3A07&v=2.0&sign=390B3BCEB8DB18B79E4305E97301BB2E");
  EXPECT_EQ(format, "xml");
}

TEST(BuildSignedForm, SortsTheWorkedExampleByName) {
  Text format;
  SignedForm form = BuildSignedForm("k", "s", "taobao.taobaoke.items.get", example_business("price_desc"), "",
                                    format, kWhen);
  EXPECT_EQ(names(form.pairs),
            (std::vector<Text>{"app_key", "fields", "format", "keyword", "method", "page_no", "page_size",
                               "pid", "sign_method", "sort", "timestamp", "v"}));
  EXPECT_TRUE(form.signing_text.starts_with("sapp_keykfieldsnum_iid,titleformatxmlkeyword"));
  EXPECT_TRUE(form.signing_text.ends_with("sortprice_desctimestamp2026-03-04 05:06:07v2.0s"));
}

TEST(BuildSignedForm, DropsEmptyValuesAndSessionFromBodyAndSignature) {
  Text format;
  SignedForm form =
      BuildSignedForm("k", "s", "m", {{"sort", ""}, {"", "orphan"}, {"a", "1"}}, "", format, kWhen);
  EXPECT_EQ(names(form.pairs),
            (std::vector<Text>{"a", "app_key", "format", "method", "sign_method", "timestamp", "v"}));
  EXPECT_EQ(form.body.find("sort"), Text::npos);
  EXPECT_EQ(form.signing_text.find("orphan"), Text::npos);
  SignedForm with_session = BuildSignedForm("k", "s", "m", {}, "sess", format, kWhen);
  EXPECT_NE(with_session.body.find("&session=sess&"), Text::npos);
}

TEST(BuildSignedForm, EncodesReservedCharactersButSignsTheRawValue) {
  Text format;
  SignedForm form = BuildSignedForm("k", "s", "m", {{"keyword", "a+b%c&d=e f"}}, "", format, kWhen);
  EXPECT_NE(form.body.find("keyword=a%2Bb%25c%26d%3De%20f&"), Text::npos);
  EXPECT_NE(form.signing_text.find("keyworda+b%c&d=e f"), Text::npos);
  EXPECT_EQ(form.signature, Md5UpperHex(form.signing_text));
}

TEST(BuildSignedForm, BodyEndsWithSignAndThirtyTwoUpperHexDigits) {
  Text format;
  SignedForm form = BuildSignedForm("k", "s", "m", {}, "", format, kWhen);
  std::size_t at = form.body.rfind("&sign=");
  ASSERT_NE(at, Text::npos);
  Text sign = form.body.substr(at + 6);
  ASSERT_EQ(sign.size(), 32u);
  for (char c : sign) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << c;
  // Only the last field carries a signature.
  EXPECT_EQ(form.body.find("sign="), at + 1);
}

TEST(BuildSignedForm, EmptyKeyOrSecretBuildsNothingAndLeavesFormat) {
  Text format;
  EXPECT_TRUE(BuildSignedForm("", "s", "m", {}, "", format, kWhen).body.empty());
  EXPECT_TRUE(BuildSignedForm("k", "", "m", {}, "", format, kWhen).body.empty());
  EXPECT_EQ(format, "");
}

TEST(BuildSignedForm, KeepsAGivenFormat) {
  Text format = "json";
  SignedForm form = BuildSignedForm("k", "s", "m", {}, "", format, kWhen);
  EXPECT_EQ(format, "json");
  EXPECT_NE(form.body.find("format=json"), Text::npos);
}

TEST(BuildSignedForm, SameSecondSameSignatureOtherSecondOnlyTimestampDiffers) {
  Text format;
  SignedForm a = BuildSignedForm("k", "s", "m", {{"q", "1"}}, "", format, kWhen);
  SignedForm b = BuildSignedForm("k", "s", "m", {{"q", "1"}}, "", format, kWhen);
  DateTime later = kWhen;
  later.second += 1;
  SignedForm c = BuildSignedForm("k", "s", "m", {{"q", "1"}}, "", format, later);
  EXPECT_EQ(a.signature, b.signature);
  EXPECT_NE(a.signature, c.signature);
  EXPECT_EQ(c.signing_text, txt_replace(a.signing_text, "05:06:07", "05:06:08"));
}

TEST(FormatTimestamp, PadsEveryFieldButTheYear) {
  EXPECT_EQ(FormatTimestamp({2026, 1, 2, 3, 4, 5}), "2026-01-02 03:04:05");
  EXPECT_EQ(FormatTimestamp({1999, 12, 31, 23, 59, 59}), "1999-12-31 23:59:59");
  EXPECT_EQ(FormatTimestamp({1000, 1, 1, 0, 0, 0}).size(), 19u);
  EXPECT_EQ(FormatTimestamp({999, 1, 1, 0, 0, 0}), "999-01-01 00:00:00");
}

TEST(Md5UpperHex, KnownDigests) {
  EXPECT_EQ(Md5UpperHex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5UpperHex("abc"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(CodePages, ChineseGoesOutAsUtf8AndComesBackAsGbk) {
  EXPECT_EQ(GbkToUtf8(gbk("连衣裙")), "连衣裙");
  EXPECT_EQ(Utf8ToGbk("连衣裙"), gbk("连衣裙"));
  EXPECT_EQ(GbkToUtf8(""), "");
  EXPECT_EQ(Utf8ToGbk(""), "");
}

TEST(CodePages, Utf8ToGbkStopsAtTheFirstZeroAndReplacesWhatGbkLacks) {
  EXPECT_EQ(Utf8ToGbk(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");
}

}  // namespace
}  // namespace quill::openapi
