#include "shell/gui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QUrl>

#include "base/codepage.h"
#include "base/message_box.h"
#include "generator/generation_run.h"
#include "shell/gui/dialogs.h"
#include "shell/gui/look.h"
#include "shell/gui/qt_text.h"
#include "shell/gui/single_line.h"
#include "shell/window_texts.h"

namespace quill::shell::gui {
namespace {

constexpr int kClientWidth = 518;
constexpr int kClientHeight = 320;
// The outer size with a thin fixed frame and a title bar, for centring before
// the window system knows the frame.
constexpr int kOuterWidth = 524;
constexpr int kOuterHeight = 351;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// Typed characters other than digits and "-" are dropped; control characters
// (backspace, the cut, copy and paste keys) pass, so pasted text is not filtered.
class CountFilter final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      return !shortcut(key->modifiers()) && !allowed(key->text());
    }
    if (event->type() == QEvent::InputMethod) {
      auto* im = static_cast<QInputMethodEvent*>(event);
      if (!allowed(im->commitString())) {
        QString kept;
        for (QChar c : im->commitString())
          if (allowed(QString(c))) kept += c;
        im->setCommitString(kept, im->replacementStart(), im->replacementLength());
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  // Ctrl+V and the like, whatever text the platform attaches to them; Ctrl+Alt is
  // AltGr on Windows and types characters.
  static bool shortcut(Qt::KeyboardModifiers m) {
    const bool ctrl = m & (Qt::ControlModifier | Qt::MetaModifier);
    return ctrl && !(m & Qt::AltModifier);
  }
  static bool allowed(const QString& typed) {
    for (QChar c : typed) {
      const char16_t code = c.unicode();
      const bool control = code < 0x20 || code == 0x7F;
      if (!control && !(code >= '0' && code <= '9') && code != '-') return false;
    }
    return true;
  }
};

void add_items(QComboBox* box, const TextList& items) {
  for (const Text& item : items) box->addItem(from_gbk(item));
}

// Shown from its beginning, as a freshly set edit box is.
void set_text(QLineEdit* box, const Text& text) {
  box->setText(from_gbk(text));
  box->setCursorPosition(0);
}

// The program's message box: caption "信息：", one OK button.
void say(const Text& text) { run_message_box(text, kMbTaskModal, Text(kDefaultCaption)); }

int fitted(double index, const QComboBox* box) { return FitSelection(index, box->count()); }

}  // namespace

// The run reads the controls when it asks, never after the window is gone.
class MainWindow::Controls final : public generator::RunControls {
 public:
  explicit Controls(MainWindow* window) : w_(window) {}
  Text keywords() override { return w_ ? to_gbk_lines(w_->keywords_->toPlainText()) : Text(); }
  int sort_index() override { return w_ ? w_->sort_->currentIndex() : -1; }
  Text template_name() override { return w_ ? selected_text(w_->template_) : Text(); }
  Text save_folder() override { return w_ ? to_gbk(w_->save_dir_->text()) : Text(); }
  int path_style() override { return w_ ? w_->path_style_->currentIndex() : -1; }
  Text item_count() override { return w_ ? to_gbk(w_->count_->text()) : Text(); }
  Text pid() override { return w_ ? to_gbk(w_->pid_->text()) : Text(); }
  Text app_key() override { return w_ ? to_gbk(w_->app_key_->text()) : Text(); }
  Text app_secret() override { return w_ ? to_gbk(w_->secret_->text()) : Text(); }
  bool short_links() override { return w_ && w_->short_links_->isChecked(); }
  int short_link_service() override { return w_ ? w_->short_service_->currentIndex() : -1; }
  int picture_size_index() override { return w_ ? w_->picture_size_->currentIndex() : -1; }

 private:
  static Text selected_text(const QComboBox* box) {
    return box->currentIndex() < 0 ? Text() : to_gbk(box->currentText());
  }
  QPointer<MainWindow> w_;
};

class MainWindow::Host final : public generator::RunHost {
 public:
  explicit Host(MainWindow* window) : w_(window) {}
  void set_title(const Text& title) override {
    if (w_) w_->setWindowTitle(from_gbk(title));
  }
  void show_message(const Text& message) override { say(message); }
  ReplaceAnswer ask_replace(const Text& target) override { return gui::ask_replace(target); }
  bool pump() override {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
  }

 private:
  QPointer<MainWindow> w_;
};

MainWindow::MainWindow(ProgramSession& session) : session_(session) {
  setWindowTitle(u("Quillmoor v1.22"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  // The layout was drawn for Chinese Windows, whose GUI font is SimSun at 12 pixels.
  setFont(SongFont());
  build_controls();
  if (QScreen* screen = this->screen()) {
    QRect outer(0, 0, kOuterWidth, kOuterHeight);
    outer.moveCenter(screen->availableGeometry().center());
    move(outer.topLeft());
  }
  show_session();
  save_at_session_end();
}

MainWindow::~MainWindow() {
  stop_.request_stop();
  close_once();
}

void MainWindow::build_controls() {
  auto place = [](QWidget* control, const char* name, int x, int y, int w, int h) {
    control->setObjectName(u(name));
    control->setGeometry(x, y, w, h);
  };
  auto label = [&](const char* name, const char* text, int x, int y, int w, int h) {
    auto* control = new QLabel(u(text), this);
    control->setTextFormat(Qt::PlainText);
    place(control, name, x, y, w, h);
    return control;
  };
  auto button = [&](const char* name, const char* text, int x, int y, int w, int h,
                    void (MainWindow::*slot)()) {
    auto* control = new QPushButton(u(text), this);
    control->setAutoDefault(false);
    place(control, name, x, y, w, h);
    connect(control, &QPushButton::clicked, this, slot);
    return control;
  };
  auto edit = [&](const char* name, int x, int y, int w, int h) {
    auto* control = new QLineEdit(this);
    place(control, name, x, y, w, h);
    KeepFirstLineOfInserts(control);
    return control;
  };
  auto* drop_down = new DropDownStyle(this);
  auto combo = [&](const char* name, int x, int y, int w, int h) {
    auto* control = new QComboBox(this);
    control->setEditable(false);
    control->setInsertPolicy(QComboBox::NoInsert);
    control->setStyle(drop_down);
    place(control, name, x, y, w, h);
    return control;
  };
  auto link = [&](const char* name, const char* text, const char* url, int x, int y, int w, int h) {
    auto* control = new QLabel(this);
    control->setTextFormat(Qt::RichText);
    control->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(u(url), u(text).toHtmlEscaped()));
    control->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    control->setOpenExternalLinks(false);
    connect(control, &QLabel::linkActivated, this,
            [this](const QString& address) { OpenHyperlink(QUrl(address)); });
    place(control, name, x, y, w, h);
  };

  label("标签1", "关键词：", 8, 8, 48, 24);
  keywords_ = new QPlainTextEdit(this);
  keywords_->setLineWrapMode(QPlainTextEdit::NoWrap);
  keywords_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  keywords_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  place(keywords_, "编辑框关键词", 8, 32, 208, 240);
  button("按钮问号", "帮助", 56, 8, 48, 24, &MainWindow::ShowHelp);
  button("按钮2", "模板制作说明", 112, 8, 104, 24, &MainWindow::ShowTemplateRules);
  button("按钮1", "保存配置", 8, 280, 64, 32, &MainWindow::SaveWithMessage);
  generate_ = button("按钮生成", "生成", 80, 280, 136, 32, &MainWindow::Generate);

  label("标签11", "app key ：", 232, 8, 64, 20);
  app_key_ = edit("编辑框钥匙", 296, 8, 80, 20);
  label("标签12", "Secret  ：", 232, 34, 80, 20);
  secret_ = edit("编辑框密码", 296, 34, 208, 20);
  label("标签4", "获取数目：", 232, 60, 64, 20);
  count_ = edit("编辑框数目", 296, 60, 32, 20);
  count_->setAlignment(Qt::AlignCenter);
  count_->installEventFilter(new CountFilter(count_));
  QLabel* limit = label("标签8", "最多 40 个", 360, 60, 80, 20);
  QPalette purple = limit->palette();
  purple.setColor(QPalette::WindowText, QColor(144, 0, 255));
  limit->setPalette(purple);
  label("标签3", "淘客 PID：", 232, 86, 64, 20);
  pid_ = edit("编辑框PID", 296, 86, 160, 20);

  label("标签7", "排序方式：", 232, 112, 64, 20)->setFont(SongFont());
  sort_ = combo("组合框排序", 296, 112, 160, 20);
  sort_->setFont(SongFont());
  add_items(sort_, SortItems());
  label("标签5", "单页模板：", 232, 138, 64, 20)->setFont(SongFont());
  template_ = combo("组合框模板", 296, 138, 160, 20);
  template_->setFont(SongFont());
  label("标签9", "图片尺寸：", 232, 164, 64, 20);
  picture_size_ = combo("组合框图片尺寸", 296, 164, 100, 20);
  add_items(picture_size_, PictureSizeItems());
  label("标签2", "保存目录：", 232, 190, 64, 20);
  save_dir_ = edit("编辑框目录", 296, 190, 174, 20);
  button("按钮选择", "选择", 472, 190, 40, 20, &MainWindow::ChooseSaveDirectory);
  label("标签6", "路径式样：", 232, 216, 64, 20)->setFont(SongFont());
  path_style_ = combo("组合框路径式样", 296, 216, 112, 20);
  add_items(path_style_, PathStyleItems());
  label("标签10", "缩短网址：", 232, 244, 64, 20);
  short_service_ = combo("组合框短网址", 296, 244, 80, 20);
  add_items(short_service_, ShortLinkItems());  // the first item comes selected
  short_links_ = new QCheckBox(u("淘客链接转成短网址"), this);
  place(short_links_, "选择框短网址", 384, 244, 128, 20);
  link("超级链接框1", "升级", "http://www.example.com/quillmoor/", 288, 288, 46, 20);
  link("超级链接框2", "更多软件 >> www.example.org", "http://www.example.org/", 331, 288, 184, 20);
}

StoredControls MainWindow::stored_controls() const {
  StoredControls c;
  c.keywords = to_gbk_lines(keywords_->toPlainText());
  c.count = to_gbk(count_->text());
  c.app_key = to_gbk(app_key_->text());
  c.app_secret = to_gbk(secret_->text());
  c.pid = to_gbk(pid_->text());
  c.sort = sort_->currentIndex();
  c.picture_size = picture_size_->currentIndex();
  c.template_index = template_->currentIndex();
  c.save_dir = to_gbk(save_dir_->text());
  c.path_style = path_style_->currentIndex();
  return c;
}

void MainWindow::apply(const StoredControls& c) {
  keywords_->setPlainText(from_gbk_lines(c.keywords));
  set_text(count_, c.count);
  set_text(app_key_, c.app_key);
  set_text(secret_, c.app_secret);
  set_text(pid_, c.pid);
  sort_->setCurrentIndex(fitted(c.sort, sort_));
  picture_size_->setCurrentIndex(fitted(c.picture_size, picture_size_));
  template_->setCurrentIndex(fitted(c.template_index, template_));
  set_text(save_dir_, c.save_dir);
  path_style_->setCurrentIndex(fitted(c.path_style, path_style_));
}

void MainWindow::show_session() {
  for (const Text& name : session_.templates) template_->addItem(from_gbk(name));
  apply(session_.restored);
}

// The session manager may kill the program once it has asked it to keep its
// data, without the window ever being closed.
void MainWindow::save_at_session_end() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return;
#ifndef QT_NO_SESSIONMANAGER
  connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { save_settings(); });
#endif
  connect(app, &QCoreApplication::aboutToQuit, this, [this] { close(); });
}

bool MainWindow::running() const { return !generate_->isEnabled(); }

void MainWindow::close_once() {
  if (closing_) return;
  // A run in progress stops at its next wait.
  closing_ = true;
  stop_.request_stop();
  save_settings();
}

bool MainWindow::save_settings() {
  Text why;
  if (SaveSettings(session_.store, stored_controls(), &why)) return true;
  say(SettingsNotSavedText(session_.store.file(), why));
  return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  close_once();
  event->accept();
}

void MainWindow::Generate() {
  if (running() || closing_) return;
  QPointer<MainWindow> self(this);
  // Disabling the focused button would pass the focus on to the key box with
  // its text selected, where a stray keystroke replaces the key: the window
  // itself holds the focus while the run lasts.
  setFocus(Qt::OtherFocusReason);
  generate_->setEnabled(false);
  generator::RunSummary summary;
  {
    Controls controls(this);
    Host host(this);
    const generator::RunEnvironment environment = RunEnvironmentOf(session_);
    const std::stop_token stop = stop_.get_token();
    summary = generator::RunGeneration({controls, host, environment, stop});
  }
  if (!self) return;
  generate_->setEnabled(true);
  if (focusWidget() == this) generate_->setFocus(Qt::OtherFocusReason);
  // A closing window says nothing more about the run it stopped.
  if (stop_.stop_requested()) return;
  const Text problems = generator::DescribeProblems(summary);
  if (!problems.empty()) say(problems);
}

void MainWindow::SaveWithMessage() {
  if (save_settings()) say(SettingsSavedText());
}

void MainWindow::ShowTemplateRules() { say(TemplateRulesText()); }

void MainWindow::ShowHelp() { say(HelpText()); }

void MainWindow::OpenHyperlink(const QUrl& address) {
  if (!OpenLink(address, link_openers_)) say(LinkNotOpenedText(to_gbk(address.toString())));
}

void MainWindow::ChooseSaveDirectory() {
  static const Text title = gbk("选择一个保存目录：");
  const Text chosen = choose_folder(to_gbk(save_dir_->text()), title);
  if (!chosen.empty()) set_text(save_dir_, chosen);
}

}  // namespace quill::shell::gui
