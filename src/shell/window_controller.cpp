#include "shell/window_controller.h"

#include <cstdio>

#include "base/codepage.h"
#include "generator/generation_run.h"
#include "shell/window_texts.h"

namespace quill::shell {
namespace {

using generator::ReplaceAnswer;

std::vector<ControlRow> MakeLayout() {
  using K = ControlKind;
  // Indexed by Control, so the order of these lines is free.
  std::vector<ControlRow> rows(kControlCount);
  auto put = [&](Control c, const char* name, K kind, const char* caption, int x, int y, int w, int h) {
    rows[c] = {
        .name = gbk(name), .kind = kind, .caption = gbk(caption), .x = x, .y = y, .width = w, .height = h};
  };
  put(kKeywordsLabel, "标签1", K::label, "关键词：", 8, 8, 48, 24);
  put(kKeywords, "编辑框关键词", K::keywords, "", 8, 32, 208, 240);
  put(kHelp, "按钮问号", K::button, "帮助", 56, 8, 48, 24);
  put(kTemplateRules, "按钮2", K::button, "模板制作说明", 112, 8, 104, 24);
  put(kSave, "按钮1", K::button, "保存配置", 8, 280, 64, 32);
  put(kGenerate, "按钮生成", K::button, "生成", 80, 280, 136, 32);
  put(kAppKeyLabel, "标签11", K::label, "app key ：", 232, 8, 64, 20);
  put(kAppKey, "编辑框钥匙", K::edit, "", 296, 8, 80, 20);
  put(kSecretLabel, "标签12", K::label, "Secret  ：", 232, 34, 80, 20);
  put(kSecret, "编辑框密码", K::edit, "", 296, 34, 208, 20);
  put(kCountLabel, "标签4", K::label, "获取数目：", 232, 60, 64, 20);
  put(kCount, "编辑框数目", K::count, "", 296, 60, 32, 20);
  put(kLimit, "标签8", K::label, "最多 40 个", 360, 60, 80, 20);
  put(kPidLabel, "标签3", K::label, "淘客 PID：", 232, 86, 64, 20);
  put(kPid, "编辑框PID", K::edit, "", 296, 86, 160, 20);
  put(kSortLabel, "标签7", K::label, "排序方式：", 232, 112, 64, 20);
  put(kSort, "组合框排序", K::combo, "", 296, 112, 160, 20);
  put(kTemplateLabel, "标签5", K::label, "单页模板：", 232, 138, 64, 20);
  put(kTemplate, "组合框模板", K::combo, "", 296, 138, 160, 20);
  put(kPictureSizeLabel, "标签9", K::label, "图片尺寸：", 232, 164, 64, 20);
  put(kPictureSize, "组合框图片尺寸", K::combo, "", 296, 164, 100, 20);
  put(kSaveDirLabel, "标签2", K::label, "保存目录：", 232, 190, 64, 20);
  put(kSaveDir, "编辑框目录", K::edit, "", 296, 190, 174, 20);
  put(kChoose, "按钮选择", K::button, "选择", 472, 190, 40, 20);
  put(kPathStyleLabel, "标签6", K::label, "路径式样：", 232, 216, 64, 20);
  put(kPathStyle, "组合框路径式样", K::combo, "", 296, 216, 112, 20);
  put(kShortServiceLabel, "标签10", K::label, "缩短网址：", 232, 244, 64, 20);
  put(kShortService, "组合框短网址", K::combo, "", 296, 244, 80, 20);
  put(kShortLinks, "选择框短网址", K::check, "淘客链接转成短网址", 384, 244, 128, 20);
  put(kUpgradeLink, "超级链接框1", K::link, "升级", 288, 288, 46, 20);
  put(kMoreLink, "超级链接框2", K::link, "更多软件 >> www.example.org", 331, 288, 184, 20);

  const StoredControls initial = InitialControls();
  rows[kKeywords].caption = initial.keywords;
  rows[kAppKey].caption = initial.app_key;
  rows[kSecret].caption = initial.app_secret;
  rows[kCount].caption = initial.count;
  rows[kPid].caption = initial.pid;
  rows[kSort].items = SortItems();
  rows[kSort].selection = initial.sort;
  rows[kPictureSize].items = PictureSizeItems();
  rows[kPictureSize].selection = initial.picture_size;
  rows[kPathStyle].items = PathStyleItems();
  rows[kPathStyle].selection = initial.path_style;
  rows[kShortService].items = ShortLinkItems();
  rows[kShortService].selection = 0;
  for (Control song : {kSortLabel, kSort, kTemplateLabel, kTemplate, kPathStyleLabel}) rows[song].song = true;
  rows[kLimit].colour = 0x9000FF;
  rows[kUpgradeLink].address = "http://www.example.com/quillmoor/";
  rows[kMoreLink].address = "http://www.example.org/";
  // Each box is named by the label before it.
  for (Control box : {kKeywords, kAppKey, kSecret, kCount, kPid, kSort, kTemplate, kPictureSize, kSaveDir,
                      kPathStyle, kShortService})
    rows[box].label = box - 1;
  return rows;
}

// The run reads the controls through the view when it asks.
class ViewControls final : public generator::RunControls {
 public:
  explicit ViewControls(const WindowView& view) : v_(view) {}
  Text keywords() override { return v_.text(kKeywords); }
  int sort_index() override { return v_.selection(kSort); }
  Text template_name() override { return v_.text(kTemplate); }
  Text save_folder() override { return v_.text(kSaveDir); }
  int path_style() override { return v_.selection(kPathStyle); }
  Text item_count() override { return v_.text(kCount); }
  Text pid() override { return v_.text(kPid); }
  Text app_key() override { return v_.text(kAppKey); }
  Text app_secret() override { return v_.text(kSecret); }
  bool short_links() override { return v_.checked(kShortLinks); }
  int short_link_service() override { return v_.selection(kShortService); }
  int picture_size_index() override { return v_.selection(kPictureSize); }

 private:
  const WindowView& v_;
};

class ViewHost final : public generator::RunHost {
 public:
  explicit ViewHost(WindowView& view) : v_(view) {}
  void set_title(const Text& title) override { v_.set_title(title); }
  void show_message(const Text& message) override { v_.message(message); }
  ReplaceAnswer ask_replace(const Text& target) override { return v_.ask_replace(target); }

 private:
  WindowView& v_;
};

// The message box ends with its last line, not with an empty one.
Text WithoutTrailingBreaks(Text text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

std::span<const ControlRow> WindowLayout() {
  static const std::vector<ControlRow> rows = MakeLayout();
  return rows;
}

Text InitialTitle() { return "Quillmoor v1.22"; }

bool CountBoxAccepts(char32_t typed) {
  const bool control = typed < 0x20 || typed == 0x7F;
  return control || (typed >= U'0' && typed <= U'9') || typed == U'-';
}

WindowController::WindowController(ProgramSession& session, WindowView& view)
    : session_(session), view_(view) {}

WindowController::~WindowController() {
  stop_.request_stop();
  close_once(false);
}

void WindowController::build() {
  std::span<const ControlRow> rows = WindowLayout();
  for (int i = 0; i < kControlCount; ++i) view_.create(static_cast<Control>(i), rows[static_cast<size_t>(i)]);
  view_.set_items(kTemplate, session_.templates);
  apply(session_.restored);
}

StoredControls WindowController::stored_controls() const {
  StoredControls c;
  c.keywords = view_.text(kKeywords);
  c.count = view_.text(kCount);
  c.app_key = view_.text(kAppKey);
  c.app_secret = view_.text(kSecret);
  c.pid = view_.text(kPid);
  c.sort = view_.selection(kSort);
  c.picture_size = view_.selection(kPictureSize);
  c.template_index = view_.selection(kTemplate);
  c.save_dir = view_.text(kSaveDir);
  c.path_style = view_.selection(kPathStyle);
  c.template_name = view_.text(kTemplate);
  return c;
}

void WindowController::apply(const StoredControls& c) {
  auto select = [this](Control box, int index, std::size_t items) {
    view_.set_selection(box, FitSelection(index, static_cast<int>(items)));
  };
  view_.set_text(kKeywords, c.keywords);
  view_.set_text(kCount, c.count);
  view_.set_text(kAppKey, c.app_key);
  view_.set_text(kSecret, c.app_secret);
  view_.set_text(kPid, c.pid);
  select(kSort, c.sort, SortItems().size());
  select(kPictureSize, c.picture_size, PictureSizeItems().size());
  select(kTemplate, c.template_index, session_.templates.size());
  view_.set_text(kSaveDir, c.save_dir);
  select(kPathStyle, c.path_style, PathStyleItems().size());
}

void WindowController::click(Control control) {
  switch (control) {
    case kHelp:
      return view_.message(HelpText(view_.network_dialog_place()));
    case kTemplateRules:
      return view_.message(
          TemplateRulesText(session_.folders.portable() ? Text() : TemplatesRoot(session_.folders.data_dir)));
    case kSave:
      if (save(false)) view_.message(SettingsSavedText());
      return;
    case kGenerate:
      return generate();
    case kChoose:
      return choose_save_directory();
    case kUpgradeLink:
    case kMoreLink:
      return open_link(control);
    default:
      return;
  }
}

void WindowController::generate() {
  // A second click while a run goes on starts nothing.
  if (running_ || closing_) return;
  running_ = true;
  view_.enable(kGenerate, false);
  ViewControls controls(view_);
  ViewHost host(view_);
  const generator::RunEnvironment environment = RunEnvironmentOf(session_);
  const generator::RunSummary summary = generator::RunGeneration({controls, host, environment, waiter_});
  running_ = false;
  if (close_after_run_) return view_.close_window();
  view_.enable(kGenerate, true);
  // A closing window says nothing more about the run it stopped.
  if (stop_.stop_requested()) return;
  const Text problems = WithoutTrailingBreaks(generator::DescribeProblems(summary));
  if (!problems.empty()) view_.message(problems);
}

bool WindowController::save(bool to_console) {
  Text why;
  if (SaveSettings(session_.store, stored_controls(), &why)) return true;
  const Text failure = SettingsNotSavedText(session_.store.file(), why);
  if (!to_console) {
    view_.message(failure);
  } else {
    std::fprintf(stderr, "%s\n", gbk_to_utf8(txt_replace(failure, "\r\n", "\n")).c_str());
  }
  return false;
}

void WindowController::close_once(bool to_console) {
  if (closing_) return;
  closing_ = true;
  // A run in progress stops at its next wait.
  stop_.request_stop();
  save(to_console);
}

bool WindowController::close() {
  close_once(false);
  close_after_run_ = running_;
  return !running_;
}

void WindowController::quit() {
  close_once(true);
  close_after_run_ = running_;
}

void WindowController::save_for_session_end() { save(true); }

void WindowController::choose_save_directory() {
  const Text chosen = view_.choose_folder(view_.text(kSaveDir), gbk("选择一个保存目录："));
  if (!chosen.empty()) view_.set_text(kSaveDir, chosen);
}

void WindowController::open_link(Control link) {
  const Text& address = WindowLayout()[static_cast<size_t>(link)].address;
  if (!view_.open_link(address)) view_.message(LinkNotOpenedText(address));
}

void WindowController::open_network_dialog() {
  const Text file = session_.store.file();
  NetworkForm form = ReadNetworkForm(file);
  while (view_.edit_network(form)) {
    if (const Text problem = NetworkFormProblem(form); !problem.empty()) {
      view_.message(problem);
      continue;
    }
    Text why;
    if (SaveNetworkForm(file, form, &why)) return;
    view_.message(SettingsNotSavedText(file, why));
  }
}

}  // namespace quill::shell
