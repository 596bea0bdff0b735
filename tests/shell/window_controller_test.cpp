// The window's behaviour against a view that only records: events, saves,
// runs, dialogs. The real toolkits' tests cover what only they can show.

#include "shell/window_controller.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "base/codepage.h"
#include "base/fs.h"
#include "shell/window_texts.h"
#include "support/sandbox_process.h"
#include "support/scratch_folder.h"

namespace quill::shell {
namespace {

using generator::ReplaceAnswer;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

class FakeView final : public WindowView {
 public:
  struct State {
    Text text;
    TextList items;
    int selection = -1;
    bool checked = false;
    bool enabled = true;
  };

  void create(Control c, const ControlRow& row) override {
    created.push_back(row.name);
    controls[c] = {row.caption, row.items, row.selection};
  }
  Text text(Control c) const override {
    const State& s = controls.at(c);
    return row_kind(c) == ControlKind::combo ? ItemAt(s.items, s.selection) : s.text;
  }
  void set_text(Control c, const Text& text) override { controls[c].text = text; }
  bool checked(Control c) const override { return controls.at(c).checked; }
  int selection(Control c) const override { return controls.at(c).selection; }
  void set_items(Control c, const TextList& items) override { controls[c].items = items; }
  void set_selection(Control c, int index) override { controls[c].selection = index; }
  void enable(Control c, bool on) override { controls[c].enabled = on; }
  void set_title(const Text& title) override { titles.push_back(title); }
  void message(const Text& text) override { messages.push_back(text); }
  ReplaceAnswer ask_replace(const Text&) override { return ReplaceAnswer::yes_to_all; }
  Text choose_folder(const Text& start, const Text&) override {
    folder_starts.push_back(start);
    return chosen_folder;
  }
  bool edit_network(NetworkForm& form) override {
    if (network_answers.empty()) return false;
    shown_forms.push_back(form);
    form = network_answers.front();
    network_answers.erase(network_answers.begin());
    return true;
  }
  Text network_dialog_place() const override { return "PLACE"; }
  bool open_link(const Text& address) override {
    links.push_back(address);
    return links_open;
  }
  void close_window() override { ++closed; }
  bool pump() override {
    ++pumps;
    if (on_pump) std::exchange(on_pump, nullptr)();
    return false;
  }

  static ControlKind row_kind(Control c) { return WindowLayout()[static_cast<size_t>(c)].kind; }

  std::map<int, State> controls;
  TextList created, titles, messages, folder_starts, links;
  std::vector<NetworkForm> network_answers, shown_forms;
  Text chosen_folder;
  bool links_open = true;
  int closed = 0;
  int pumps = 0;
  std::function<void()> on_pump;  // once, at the next pump
};

// A portable program folder with template T (a page with a loop, one resource
// file, so a run pumps before its first call) and the gateway on a closed port.
class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "模板/T/模板文件.htm", gbk("<p>[#商品循环开始#]x[#商品循环结束#]</p>"));
    write_file(dir / "模板/T/files/a.css", "a");
    write_file(dir / "Quillbatch.ini", gbk("[通常配置]\r\n关键词=a┊*┊b\r\n保存目录=") + dir.gbk_path("out") +
                                           gbk("\r\n[网络]\r\n网关=http://127.0.0.1:1/router/rest?\r\n"));
    open();
  }
  void open() {
    controller.reset();
    session = OpenProgramFolder(ProgramFolders{dir.gbk_path(), dir.gbk_path(), dir.gbk_path()}, NoUiWaiter());
    controller = std::make_unique<WindowController>(session, view);
    controller->build();
  }
  std::string ini() { return gbk_to_utf8(read_file(dir / "Quillbatch.ini")); }

  ScratchFolder dir;
  ProgramSession session;
  FakeView view;
  std::unique_ptr<WindowController> controller;
};

TEST(WindowLayout, EveryControlHasItsPlaceAndNameOnce) {
  const auto rows = WindowLayout();
  ASSERT_EQ(rows.size(), static_cast<size_t>(kControlCount));
  std::set<Text> names;
  for (const ControlRow& row : rows) {
    EXPECT_TRUE(!row.name.empty() && names.insert(row.name).second) << gbk_to_utf8(row.name);
    EXPECT_GE(row.x, 0);
    EXPECT_LE(row.x + row.width, kClientWidth) << gbk_to_utf8(row.name);
    EXPECT_LE(row.y + row.height, kClientHeight) << gbk_to_utf8(row.name);
    EXPECT_EQ(row.kind == ControlKind::combo, row.name.starts_with(gbk("组合框"))) << gbk_to_utf8(row.name);
    if (row.label >= 0) {
      EXPECT_EQ(rows[static_cast<size_t>(row.label)].kind, ControlKind::label);
    }
    EXPECT_EQ(row.selection < static_cast<int>(row.items.size()), true);
  }
  EXPECT_EQ(rows[kKeywords].name, gbk("编辑框关键词"));
  EXPECT_EQ(rows[kShortLinks].name, gbk("选择框短网址"));
  EXPECT_EQ(rows[kMoreLink].name, gbk("超级链接框2"));
  EXPECT_EQ(rows[kSort].items.size(), 11u);
  EXPECT_EQ(rows[kSecret].label, kSecretLabel);
}

TEST_F(Window, FirstStartShowsTheTableAndTheSession) {
  EXPECT_EQ(view.created.size(), static_cast<size_t>(kControlCount));
  EXPECT_EQ(view.controls[kTemplate].items, TextList{"T"});
  EXPECT_EQ(view.controls[kTemplate].selection, 0);
  EXPECT_EQ(view.controls[kSort].selection, 5);
  EXPECT_EQ(view.text(kKeywords), "a\r\nb");
  EXPECT_EQ(view.text(kCount), "10");
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(Window, AGarbledSettingsFileGivesTheInitialValuesSilently) {
  controller.reset();  // which saves
  write_file(dir / "Quillbatch.ini", std::string("\xff\xfe\x00[\x81\r\n==\n\xa9", 11));
  open();
  StoredControls expected = InitialControls();
  expected.save_dir = DefaultSaveDir(dir.gbk_path());
  expected.template_index = 0;
  expected.template_name = "T";
  EXPECT_EQ(controller->stored_controls(), expected);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(Window, SaveClosesAndRestartsKeepTheValuesAndTheTemplateByName) {
  view.controls[kSort].selection = 0;
  view.controls[kPid].text = "mm_1";
  view.controls[kShortLinks].checked = true;
  controller->click(kSave);
  EXPECT_EQ(view.messages, TextList{SettingsSavedText()});
  EXPECT_NE(ini().find("模板名称=T"), std::string::npos);
  // A template added in front moves the position, not the choice.
  write_file(dir / "模板/A/模板文件.htm", "");
  view.messages.clear();
  EXPECT_TRUE(controller->close());
  EXPECT_TRUE(view.messages.empty());  // closing saves silently
  open();
  EXPECT_EQ(view.text(kTemplate), "T");
  EXPECT_EQ(view.controls[kSort].selection, 0);
  EXPECT_EQ(view.text(kPid), "mm_1");
  EXPECT_FALSE(view.checked(kShortLinks));
}

TEST_F(Window, AFailedSaveNamesTheFileInABoxOrOnStandardErrorWhenQuitting) {
  std::filesystem::remove(dir / "Quillbatch.ini");
  std::filesystem::create_directory(dir / "Quillbatch.ini");
  controller->click(kSave);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_TRUE(view.messages[0].starts_with(gbk("保存配置失败：") + session.store.file()));
  ::testing::internal::CaptureStderr();
  controller->quit();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_NE(said.find("保存配置失败："), std::string::npos) << said;
  controller.reset();  // saved once: nothing more said
  EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(Window, ARunThatFailsEndsWithOneMessageWithoutATrailingBlankLine) {
  view.on_pump = [&] {
    EXPECT_FALSE(view.controls[kGenerate].enabled);
    controller->click(kGenerate);  // a second click during the run starts nothing
  };
  controller->click(kGenerate);
  EXPECT_GT(view.pumps, 0);
  EXPECT_TRUE(view.controls[kGenerate].enabled);
  ASSERT_EQ(view.messages.size(), 1u);
  const std::string said = gbk_to_utf8(view.messages[0]);
  EXPECT_NE(said.find("2 行未能按要求生成"), std::string::npos) << said;
  EXPECT_FALSE(said.ends_with("\n")) << said;
  EXPECT_EQ(view.titles.back(), "Quillmoor");
}

// The interface 接口 names carries a click from the settings to the page.
TEST_F(Window, AClickGoesThroughTheInterfaceTheSettingsName) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  testing::SandboxProcess sandbox;
  ASSERT_TRUE(sandbox.running());
  controller.reset();  // its closing save would write over the settings below
  write_file(dir / "模板/T/模板文件.htm",
             gbk("[#商品循环开始#]<a href=\"[#商品网址#]\">[#商品标题#]</a>[#商品循环结束#]"));
  write_file(dir / "Quillbatch.ini",
             gbk("[通常配置]\r\n关键词=H&M\r\n钥匙=31415926\r\n密码=5f0c2a9e7b13d4866e1fa0b2c9d34e57\r\n"
                 "PID=mm_1_2_3\r\n保存目录=") +
                 dir.gbk_path("out") + gbk("\r\n[网络]\r\n接口=taobao.tbk.dg.material.optional.upgrade\r\n网关=") +
                 Text(sandbox.gateway()) + "\r\n");
  open();
  controller->click(kGenerate);
  EXPECT_TRUE(view.messages.empty()) << gbk_to_utf8(view.messages.empty() ? Text() : view.messages[0]);
  const std::string page = read_file(dir / "out/H&M.htm");
  EXPECT_EQ(page.find("[#"), std::string::npos);
  EXPECT_NE(page.find("adzone_id=3"), std::string::npos) << page.substr(0, 300);
}

TEST_F(Window, ClosingDuringARunStopsItSavesAndClosesAfterIt) {
  view.controls[kAppKey].text = "changed";
  view.on_pump = [&] { EXPECT_FALSE(controller->close()); };
  controller->click(kGenerate);
  EXPECT_EQ(view.closed, 1);
  EXPECT_TRUE(view.messages.empty());  // nothing said about the stopped run
  EXPECT_FALSE(std::filesystem::exists(dir / "out/a.htm"));
  EXPECT_NE(ini().find("钥匙=changed"), std::string::npos);
  EXPECT_TRUE(controller->close());
  controller->click(kGenerate);  // a closing window starts no run
  EXPECT_EQ(view.titles.size(), 0u);
}

TEST_F(Window, FolderChooserStartsAtTheBoxAndCancelKeepsIt) {
  const Text start = view.text(kSaveDir);
  view.chosen_folder = gbk("/页面");
  controller->click(kChoose);
  view.chosen_folder = "";
  controller->click(kChoose);
  EXPECT_EQ(view.folder_starts, (TextList{start, gbk("/页面")}));
  EXPECT_EQ(view.text(kSaveDir), gbk("/页面"));
}

TEST_F(Window, TextsAndLinks) {
  controller->click(kHelp);
  controller->click(kTemplateRules);
  view.links_open = false;
  controller->click(kMoreLink);
  ASSERT_EQ(view.messages.size(), 3u);
  EXPECT_EQ(view.messages[0], HelpText("PLACE"));
  EXPECT_TRUE(view.messages[0].ends_with("PLACE"));
  EXPECT_NE(view.messages[1].find(gbk("程序目录\\模板\\模板的名称\\模板文件.htm")), Text::npos);
  EXPECT_EQ(view.links, TextList{"http://www.example.org/"});
  EXPECT_EQ(view.messages[2], LinkNotOpenedText("http://www.example.org/"));
  // Installed, the user's own template folder is named.
  const Text installed = TemplateRulesText(gbk("/home/u/.local/share/quillmoor/模板"));
  EXPECT_NE(
      installed.find(gbk("/home/u/.local/share/quillmoor/模板") + Text(kPathSeparator) + gbk("模板的名称")),
      Text::npos);
  EXPECT_EQ(installed.find(gbk("程序目录\\模板")), Text::npos);
}

TEST(CountBox, AcceptsDigitsMinusAndControlCharacters) {
  for (char32_t c : std::u32string(U"0123456789-\b\x16\x7F")) EXPECT_TRUE(CountBoxAccepts(c)) << int(c);
  for (char32_t c : std::u32string(U"a. +\u4E00\uFF11")) EXPECT_FALSE(CountBoxAccepts(c)) << int(c);
}

TEST_F(Window, NetworkDialogRefusesBadValuesAndSavesGoodOnesKeepingTheRest) {
  const auto form = [](const char* api, const char* gateway, const char* jobs, const char* retries,
                       const Text& ca) {
    return NetworkForm{api, gateway, jobs, retries, ca};
  };
  const Text ca = dir.gbk_path("ca.pem");
  write_file(dir / "ca.pem", "pem");
  const struct {
    NetworkForm form;
    const char* problem;  // UTF-8 start of the message, "" for none
  } cases[] = {
      {form("", "", "", "", ""), ""},
      {form("taobao.tbk.dg.material.optional.upgrade", "https://127.0.0.1:8/router/rest?", "16", "0", ca),
       ""},
      {form("taobao.tbk.dg.material.optional", "", "", "", ""), "“接口”只接受"},
      {form("", "ftp://x/", "", "", ""), "网关须是"},
      {form("", "http://a b/", "", "", ""), "网关须是"},
      {form("", "http://", "", "", ""), "网关须是"},
      {form("", "", "0", "", ""), "并发须是"},
      {form("", "", "17", "", ""), "并发须是"},
      {form("", "", "+4", "", ""), "并发须是"},
      {form("", "", "", "11", ""), "重试须是"},
      {form("", "", "", "-1", ""), "重试须是"},
      {form("", "", "", "", dir.gbk_path("none.pem")), "找不到证书文件"},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(gbk_to_utf8(NetworkFormProblem(c.form)).starts_with(c.problem))
        << gbk_to_utf8(c.form.gateway);

  // A bad value is said and shown again as typed; a good one is saved.
  view.network_answers = {cases[6].form, cases[1].form};
  controller->open_network_dialog();
  ASSERT_EQ(view.shown_forms.size(), 2u);
  EXPECT_EQ(view.shown_forms[0].gateway, "http://127.0.0.1:1/router/rest?");
  EXPECT_EQ(view.shown_forms[1], cases[6].form);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(ReadNetworkForm(session.store.file()), cases[1].form);
  const std::string saved = ini();
  EXPECT_NE(saved.find("关键词=a┊*┊b"), std::string::npos) << saved;
  // Cancelling writes nothing.
  view.network_answers.clear();
  controller->open_network_dialog();
  EXPECT_EQ(ini(), saved);
}

}  // namespace
}  // namespace quill::shell
