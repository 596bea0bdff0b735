#include "shell/settings_file.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/codepage.h"
#include "base/fs.h"
#include "shell/network_settings.h"
#include "support/scratch_folder.h"

namespace quill::shell {
namespace {

using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { store.set_file(dir.gbk_path("Quillbatch.ini")); }
  // The ini text given in UTF-8, stored as GBK with CR LF.
  void write_ini(const std::string& utf8_lines) { write_file(dir / "Quillbatch.ini", gbk(utf8_lines)); }
  StoredControls restore(int templates = 1) {
    return RestoreSettings(store, InitialControls(), "/prog", [=] {
      TextList names;
      for (int i = 0; i < templates; ++i) names.push_back("T" + std::to_string(i));
      return names;
    });
  }
  ScratchFolder dir;
  IniStore store;
};

TEST_F(Settings, FirstStartShowsInitialValuesDefaultFolderAndFirstTemplate) {
  StoredControls expected = InitialControls();
  expected.save_dir = "/prog" + Text(kPathSeparator) + gbk("已生成");
  expected.template_index = 0;
  expected.template_name = "T0";
  EXPECT_EQ(restore(), expected);
}

TEST_F(Settings, SaveWritesTheTenKeysInOrder) {
  StoredControls c = InitialControls();
  c.template_index = 0;
  c.save_dir = gbk("/prog/已生成");
  SaveSettings(store, c);
  EXPECT_EQ(
      read_file(dir / "Quillbatch.ini"),
      gbk("[通常配置]\r\n关键词=女装,女鞋,女包┊*┊2012┊*┊连衣裙,毛衣\r\n获取数目=10\r\n钥匙=31415926\r\n"
          "密码=5f0c2a9e7b13d4866e1fa0b2c9d34e57\r\nPID=你的pid数字串，只填中间串\r\n排序=5\r\n尺寸=3\r\n"
          "模板=0\r\n保存目录=/prog/已生成\r\n路径式样=0\r\n模板名称=\r\n"));
}

TEST_F(Settings, SaveThenRestoreGivesTheSameControls) {
  StoredControls c = InitialControls();
  c.keywords = gbk("一\r\n\r\n三");
  c.sort = 0;
  c.picture_size = -1;
  c.template_index = 1;
  c.template_name = "T1";
  c.save_dir = "";
  c.path_style = 1;
  SaveSettings(store, c);
  EXPECT_EQ(restore(2), c);
}

TEST_F(Settings, TheStoredTemplateNameWinsOverThePosition) {
  write_ini("[通常配置]\r\n模板=0\r\n模板名称=T2\r\n");
  EXPECT_EQ(restore(3).template_index, 2);
  write_ini("[通常配置]\r\n模板=1\r\n模板名称=gone\r\n");
  EXPECT_EQ(restore(3).template_index, 1);
}

TEST_F(Settings, StoredIndexesAreCutAndFittedToTheLists) {
  write_ini("[通常配置]\r\n排序=12\r\n尺寸=-3\r\n路径式样=0.9\r\n模板=4\r\n");
  StoredControls c = restore(2);
  EXPECT_EQ(c.sort, 10);
  EXPECT_EQ(c.picture_size, -1);
  EXPECT_EQ(c.path_style, 0);
  EXPECT_EQ(c.template_index, 1);
  write_ini("[通常配置]\r\n排序=2.9\r\n尺寸=abc\r\n模板=-0.5\r\n");
  c = restore(2);
  EXPECT_EQ(c.sort, 2);
  EXPECT_EQ(c.picture_size, 0);
  EXPECT_EQ(c.template_index, 0);
}

TEST_F(Settings, TemplateIndexWithoutTemplatesSelectsNothing) {
  write_ini("[通常配置]\r\n模板=0\r\n");
  EXPECT_EQ(restore(0).template_index, -1);
}

TEST_F(Settings, EmptyStoredSaveFolderIsAValue) {
  write_ini("[通常配置]\r\n保存目录=\r\n");
  EXPECT_EQ(restore().save_dir, "");
}

TEST_F(Settings, EscapeMarkerTypedInKeywordsComesBackAsLineBreak) {
  write_ini("[通常配置]\r\n关键词=a┊*┊b\r\n");
  EXPECT_EQ(restore().keywords, "a\r\nb");
}

TEST(FitSelection, FitsToTheList) {
  EXPECT_EQ(FitSelection(3, 4), 3);
  EXPECT_EQ(FitSelection(4, 4), 3);
  EXPECT_EQ(FitSelection(1e300, 4), 3);
  EXPECT_EQ(FitSelection(-1, 4), -1);
  EXPECT_EQ(FitSelection(-0.9, 4), 0);
  EXPECT_EQ(FitSelection(0, 0), -1);
  EXPECT_EQ(FitSelection(std::nan(""), 4), -1);
}

TEST(NetworkSettings, NonEmptyKeysOfTheNetworkSectionOverrideTheDefaults) {
  testing::ScratchFolder folder;
  const std::string file = folder.gbk_path("Quillbatch.ini");
  testing::write_file(
      file,
      gbk("[通常配置]\r\n网关=http://wrong\r\n[网络]\r\n网关=http://127.0.0.1:9/router/rest?\r\n百度=\r\n"
          "CNZZ=http://127.0.0.1:9\r\n图片服务器=127.0.0.1:9\r\n并发=99\r\n重试=-4\r\n"));
  generator::RunEnvironment read, defaults;
  ReadNetworkSettings(file, read);
  EXPECT_EQ(read.gateway, "http://127.0.0.1:9/router/rest?");
  EXPECT_EQ(read.short_link_services.baidu, defaults.short_link_services.baidu);
  EXPECT_EQ(read.short_link_services.cnzz, "http://127.0.0.1:9");
  EXPECT_EQ(read.picture_host, "127.0.0.1:9");
  EXPECT_EQ(read.jobs, 16);
  EXPECT_EQ(read.retries, 0);
  generator::RunEnvironment missing;
  ReadNetworkSettings("/nonexistent/Quillbatch.ini", missing);
  EXPECT_EQ(missing.gateway, defaults.gateway);
}

}  // namespace
}  // namespace quill::shell
