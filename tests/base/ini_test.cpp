#include "base/ini.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "base/codepage.h"
#include "support/scratch_folder.h"

namespace quill {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

const Text& section() {
  static const Text name = gbk("通常配置");
  return name;
}

class WindowsIni : public ::testing::Test {
 protected:
  void SetUp() override {
    original = read_file(fs::path(QUILL_BASE_TEST_DATA) / "windows_quillbatch.ini");
    ASSERT_FALSE(original.empty());
    path = dir.gbk_path("Quillbatch.ini");
    write_file(path, original);
  }
  ScratchFolder dir;
  std::string original;
  std::string path;
};

TEST_F(WindowsIni, ReadsEveryKeyExactly) {
  EXPECT_EQ(ini_get(path, section(), gbk("关键词")), gbk("女装,女鞋,女包┊*┊2012┊*┊连衣裙,毛衣"));
  EXPECT_EQ(ini_get(path, section(), gbk("获取数目")), "10");
  EXPECT_EQ(ini_get(path, section(), gbk("钥匙")), "31415926");
  EXPECT_EQ(ini_get(path, section(), gbk("密码")), "5f0c2a9e7b13d4866e1fa0b2c9d34e57");
  EXPECT_EQ(ini_get(path, section(), "pid"), gbk("你的pid数字串，只填中间串"));
  EXPECT_EQ(ini_get(path, section(), gbk("保存目录")), gbk("C:\\Quillmoor\\已生成"));
  EXPECT_EQ(ini_get(path, section(), gbk("路径式样")), "0");
  EXPECT_EQ(ini_get(path, gbk("其它"), gbk("备注")), gbk("  引号里的值  "));
}

TEST_F(WindowsIni, StoreRestoresLineBreaks) {
  IniStore store;
  store.set_file(path);
  store.set_section(section());
  EXPECT_EQ(store.get_text(gbk("关键词"), ""), gbk("女装,女鞋,女包\r\n2012\r\n连衣裙,毛衣"));
  EXPECT_EQ(store.get_number(gbk("排序"), -1), 5.0);
}

TEST_F(WindowsIni, UpdateKeepsTheRestByteForByte) {
  ASSERT_TRUE(ini_put(path, section(), gbk("获取数目"), "40"));
  std::string expected = original;
  expected.replace(expected.find("=10\r\n"), 5, "=40\r\n");
  EXPECT_EQ(read_file(path), expected);
}

TEST_F(WindowsIni, NewKeyEndsItsSectionBeforeTheBlankLine) {
  ASSERT_TRUE(ini_put(path, section(), "New", "v"));
  std::string expected = original;
  std::string last = gbk("路径式样=0\r\n");
  expected.insert(expected.find(last) + last.size(), "New=v\r\n");
  EXPECT_EQ(read_file(path), expected);
}

TEST_F(WindowsIni, NewSectionAtTheEnd) {
  ASSERT_TRUE(ini_put(path, "Extra", "k", "v"));
  EXPECT_EQ(read_file(path), original + "[Extra]\r\nk=v\r\n");
}

TEST(IniGet, MissingGivesDefaultEmptyNameGivesEmpty) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "[s]\r\nk=v\r\n");
  EXPECT_EQ(ini_get(path, "s", "missing", "def"), "def");
  EXPECT_EQ(ini_get(path, "other", "k", "def"), "def");
  EXPECT_EQ(ini_get(dir.gbk_path("none.ini"), "s", "k", "def"), "def");
  EXPECT_EQ(ini_get(path, " \t", "k", "def"), "");
  EXPECT_EQ(ini_get(path, "s", "", "def"), "");
  EXPECT_EQ(ini_get("", "s", "k", "def"), "");
  EXPECT_EQ(ini_get(path, "  s", " K", "def"), "v");
}

TEST(IniGet, NamesCaseInsensitiveValuesTrimmedAndUnquoted) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "  [ Sec ]  \r\n  Key  =  some value \t\r\nq='x'\r\nq2=\"a\r\nq3=\"\"\r\n");
  EXPECT_EQ(ini_get(path, "sec", "KEY"), "some value");
  EXPECT_EQ(ini_get(path, "SEC", "q"), "x");
  EXPECT_EQ(ini_get(path, "sec", "q2"), "\"a");
  EXPECT_EQ(ini_get(path, "sec", "q3", "def"), "");
}

TEST(IniGet, FirstOfTwoEqualSectionsCounts) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "[s]\r\na=1\r\n[S]\r\na=2\r\nb=3\r\n");
  EXPECT_EQ(ini_get(path, "s", "a"), "1");
  EXPECT_EQ(ini_get(path, "s", "b", "none"), "none");
  ASSERT_TRUE(ini_put(path, "s", "b", "4"));
  EXPECT_EQ(read_file(path), "[s]\r\na=1\r\nb=4\r\n[S]\r\na=2\r\nb=3\r\n");
}

TEST(IniGet, LineEndsBomAndNoFinalBreak) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "\xEF\xBB\xBF[s]\nlf=1\r\ncrlf=2\rcr=3\nlast=4");
  EXPECT_EQ(ini_get(path, "s", "lf"), "1");
  EXPECT_EQ(ini_get(path, "s", "crlf"), "2");
  EXPECT_EQ(ini_get(path, "s", "cr"), "3");
  EXPECT_EQ(ini_get(path, "s", "last"), "4");
  ASSERT_TRUE(ini_put(path, "s", "new", "5"));
  EXPECT_EQ(read_file(path), "\xEF\xBB\xBF[s]\nlf=1\r\ncrlf=2\rcr=3\nlast=4\r\nnew=5\r\n");
}

TEST(IniGet, LongValueIsNotCut) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  Text value;
  while (value.size() < 30000) value += gbk("连衣裙,");
  ASSERT_TRUE(ini_put(path, "s", "k", value));
  EXPECT_EQ(ini_get(path, "s", "k"), value);
}

TEST(IniPut, CreatesFileButNotFolder) {
  ScratchFolder dir;
  ASSERT_TRUE(ini_put(dir.gbk_path("new.ini"), section(), "k", "v"));
  EXPECT_EQ(read_file(dir.path() / "new.ini"), "[" + section() + "]\r\nk=v\r\n");
  EXPECT_FALSE(ini_put(dir.gbk_path("missing/new.ini"), "s", "k", "v"));
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST(IniPut, ReplacesInPlaceKeepingUnknownLines) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "garbage line\r\n[s]\r\n; note\r\nKey = old\r\nother=1\r\n");
  ASSERT_TRUE(ini_put(path, "S", "key", "new"));
  EXPECT_EQ(read_file(path), "garbage line\r\n[s]\r\n; note\r\nKey =new\r\nother=1\r\n");
}

TEST(IniPut, RefusesWhatTheFormatCannotHold) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "[s]\r\nk=v\r\n");
  EXPECT_FALSE(ini_put(path, "s", "k", "two\nlines"));
  EXPECT_FALSE(ini_put(path, "", "k", "v"));
  EXPECT_FALSE(ini_put(path, "s", "", "v"));
  EXPECT_FALSE(ini_put("", "s", "k", "v"));
  EXPECT_EQ(read_file(path), "[s]\r\nk=v\r\n");
}

#ifndef _WIN32  // POSIX modes
TEST(IniPut, UnreadableFileIsNotOverwritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "[s]\r\nk=v\r\n");
  ::chmod(path.c_str(), 0200);
  EXPECT_FALSE(ini_put(path, "s", "other", "1"));
  ::chmod(path.c_str(), 0600);
  EXPECT_EQ(read_file(path), "[s]\r\nk=v\r\n");
}

// The settings file holds the secret: the user's alone wherever it lives. And
// it is saved wherever it may be written, also in a folder that takes no new
// file (made read-only after the start), as Windows saves it.
TEST(IniPut, SettingsFileIsTheOwnersAloneAndSavedWhereverWritable) {
  struct Case {
    const char* what;
    mode_t file_mode;  // 0: no file yet
    mode_t folder_mode;
  };
  const Case cases[] = {{"new file", 0, 0755},
                        {"file readable by all", 0644, 0755},
                        {"folder takes no new file", 0644, 0555},
                        {"group-writable file in such a folder", 0660, 0555}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder dir;
    const fs::path path = dir.path() / "q.ini";
    if (c.file_mode) {
      write_file(path, "[s]\r\nk=old value\r\n");
      ::chmod(path.c_str(), c.file_mode);
    }
    ::chmod(dir.path().c_str(), c.folder_mode);
    EXPECT_TRUE(ini_put(path.string(), "s", "k", "new"));
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(read_file(path), "[s]\r\nk=new\r\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }
}
#endif

TEST(IniStore, TwoLineValueIsOneLineOnDisk) {
  ScratchFolder dir;
  IniStore store;
  store.set_file(dir.gbk_path("q.ini"));
  store.set_section(section());
  ASSERT_TRUE(store.put_text(gbk("关键词"), "a\r\nb"));
  EXPECT_EQ(read_file(dir.path() / "q.ini"), "[" + section() + "]\r\n" + gbk("关键词") +
                                                 "=a\xA9\xAE*\xA9\xAE"
                                                 "b\r\n");
  EXPECT_EQ(store.get_text(gbk("关键词"), ""), "a\r\nb");
}

TEST(IniStore, NumbersInPercentG) {
  ScratchFolder dir;
  IniStore store;
  store.set_file(dir.gbk_path("q.ini"));
  store.set_section("s");
  ASSERT_TRUE(store.put_number("n", -1));
  ASSERT_TRUE(store.put_number("half", 0.5));
  EXPECT_EQ(read_file(dir.path() / "q.ini"), "[s]\r\nn=-1\r\nhalf=0.5\r\n");
  EXPECT_EQ(store.get_number("n", 7), -1.0);
  EXPECT_EQ(store.get_number("missing", 1.0 / 3.0), 0.3333333333333);
  EXPECT_EQ(store.get_text("missing", "x\r\ny"), "x\r\ny");
}

TEST(IniStore, BatchWritesOnceOnCommit) {
  ScratchFolder dir;
  IniStore store;
  store.set_file(dir.gbk_path("q.ini"));
  store.set_section("s");
  store.begin_batch();
  EXPECT_TRUE(store.put_text("a", "1"));
  EXPECT_TRUE(store.put_number("b", 2));
  EXPECT_FALSE(fs::exists(dir.path() / "q.ini"));
  ASSERT_TRUE(store.commit());
  EXPECT_EQ(read_file(dir.path() / "q.ini"), "[s]\r\na=1\r\nb=2\r\n");
  EXPECT_TRUE(store.put_text("a", "3"));  // after commit: direct again
  EXPECT_EQ(store.get_text("a", ""), "3");
}

// Names are trimmed on the way in as on the way out, so a padded name updates
// the key a read finds instead of adding a line no read ever reaches.
TEST(IniPut, PaddedNamesUpdateTheKeyReadsFind) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path, "[s]\r\nk=1\r\n");
  ASSERT_TRUE(ini_put(path, " s\t", " k ", "2"));
  ASSERT_TRUE(ini_put(path, "s", "\tnew", "3"));
  EXPECT_EQ(read_file(path), "[s]\r\nk=2\r\nnew=3\r\n");
  EXPECT_EQ(ini_get(path, "s", "k"), "2");
  // Names the format would read back as something else are refused.
  EXPECT_FALSE(ini_put(path, "s", "a=b", "v"));
  EXPECT_FALSE(ini_put(path, "s", "[x]", "v"));
  EXPECT_FALSE(ini_put(path, "s", "  ", "v"));
  EXPECT_EQ(read_file(path), "[s]\r\nk=2\r\nnew=3\r\n");
}

// One value the format cannot keep costs only itself; the caller learns why.
TEST(IniPutMany, WritesEveryKeyItCanAndSaysWhy) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  Text why;
  EXPECT_FALSE(ini_put_many(path, {{"s", "a", "1"}, {"s", "b", "two\nlines"}, {"s", "c", "3"}}, &why));
  EXPECT_EQ(why, gbk("无法保存换行符"));
  EXPECT_EQ(read_file(path), "[s]\r\na=1\r\nc=3\r\n");

  IniStore store;
  store.set_file(path);
  store.set_section("s");
  store.begin_batch();
  store.put_text("a", "x\ry");  // a lone CR is no line break the escape covers
  store.put_text("c", "4");
  EXPECT_FALSE(store.commit(&why));
  EXPECT_EQ(why, gbk("无法保存换行符"));
  EXPECT_EQ(store.get_text("c", ""), "4");
  EXPECT_EQ(store.get_text("a", ""), "1");

  store.set_file(dir.gbk_path("missing/a.ini"));
  store.begin_batch();
  store.put_text("a", "1");
  EXPECT_FALSE(store.commit(&why));
  EXPECT_EQ(why, gbk("文件夹不存在"));
  EXPECT_TRUE(store.commit(&why));  // nothing pending
  EXPECT_TRUE(why.empty());
}

// The view reads the file once: later changes to the file do not reach it, and
// its lookups follow ini_get.
TEST(IniView, OneReadManyLookups) {
  ScratchFolder dir;
  std::string path = dir.gbk_path("a.ini");
  write_file(path,
             "\xEF\xBB\xBFk=0\r\n[s]\r\n a = 1 \r\nq=\"x\"\rm=a\xA9\xAE*\xA9\xAE"
             "b\n[S]\r\nb=2\r\n[t]\r\nb=3");
  IniStore store;
  store.set_file(path);
  store.set_section("S");
  IniView view = store.snapshot();
  write_file(path, "");
  EXPECT_EQ(view.get_text("A", "d"), "1");
  EXPECT_EQ(view.get_text("q", "d"), "x");
  EXPECT_EQ(view.get_text("m", "d"), "a\r\nb");
  EXPECT_EQ(view.get_text("b", "d"), "d");  // the first of two equal sections counts
  EXPECT_EQ(view.get_text("k", "d"), "d");  // a key before any section belongs to none
  EXPECT_EQ(view.get_number("a", 7), 1.0);
  EXPECT_EQ(view.get("t", "b"), "3");
  EXPECT_EQ(view.get(" ", "b", "d"), "");
  EXPECT_EQ(IniView("").get("s", "a", "d"), "");
  EXPECT_EQ(IniView(dir.gbk_path("none.ini")).get("s", "a", "d"), "d");
  EXPECT_EQ(store.get_text("a", "d"), "d");  // the store itself reads the file again
}

}  // namespace
}  // namespace quill
