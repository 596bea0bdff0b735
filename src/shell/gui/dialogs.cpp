#include "shell/gui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <deque>
#include <optional>

#include "base/message_box.h"
#include "shell/gui/qt_text.h"

namespace quill::shell::gui {
namespace {

constexpr char kAnswerProperty[] = "replaceAnswer";

struct Answers {
  std::deque<int> messages;
  std::deque<Text> folders;
  std::deque<ReplaceAnswer> replaces;
  bool unattended = false;
  std::vector<AnsweredDialog> log;
};

Answers& answers() {
  static Answers a;
  return a;
}

// The queued answer, the unattended default, or nothing (show the dialog).
template <typename T>
std::optional<T> take(std::deque<T>& queue, T unattended_default, AnsweredDialog record) {
  Answers& a = answers();
  std::optional<T> answer;
  if (!queue.empty()) {
    answer = std::move(queue.front());
    queue.pop_front();
  } else if (a.unattended) {
    answer = std::move(unattended_default);
  }
  if (answer) a.log.push_back(std::move(record));
  return answer;
}

}  // namespace

std::unique_ptr<QMessageBox> make_message_box(const Text& message, unsigned flags, const Text& caption) {
  auto box = std::make_unique<QMessageBox>();
  box->setWindowTitle(from_gbk(caption));
  box->setTextFormat(Qt::PlainText);
  box->setText(from_gbk_lines(message));
  box->setIcon((flags & kMbIconError) ? QMessageBox::Critical : QMessageBox::NoIcon);
  box->setStandardButtons(QMessageBox::Ok);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

int run_message_box(const Text& message, unsigned flags, const Text& caption) {
  if (take(answers().messages, int(kResultOk), {AnsweredDialog::kMessage, message, caption, flags}))
    return kResultOk;  // one button: whatever was queued, OK closed it
  make_message_box(message, flags, caption)->exec();
  return kResultOk;
}

std::unique_ptr<QMessageBox> make_replace_box(const Text& target) {
  static const QString caption = QString::fromUtf8("确认文件替换");
  static const QString question = QString::fromUtf8("目标位置已有同名文件：\n%1\n\n要替换它吗？");
  auto box = std::make_unique<QMessageBox>();
  box->setWindowTitle(caption);
  box->setTextFormat(Qt::PlainText);
  box->setText(question.arg(from_gbk(target)));
  box->setIcon(QMessageBox::Question);
  box->setWindowModality(Qt::ApplicationModal);
  const struct {
    const char* label;
    QMessageBox::ButtonRole role;
    ReplaceAnswer answer;
  } buttons[] = {{"是", QMessageBox::YesRole, ReplaceAnswer::yes},
                 {"全部是", QMessageBox::YesRole, ReplaceAnswer::yes_to_all},
                 {"否", QMessageBox::NoRole, ReplaceAnswer::no},
                 {"全部否", QMessageBox::NoRole, ReplaceAnswer::no_to_all},
                 {"取消", QMessageBox::RejectRole, ReplaceAnswer::cancel}};
  for (const auto& b : buttons) {
    QPushButton* button = box->addButton(QString::fromUtf8(b.label), b.role);
    button->setProperty(kAnswerProperty, static_cast<int>(b.answer));
    if (b.answer == ReplaceAnswer::yes) box->setDefaultButton(button);
    if (b.answer == ReplaceAnswer::cancel) box->setEscapeButton(button);
  }
  return box;
}

ReplaceAnswer ask_replace(const Text& target) {
  if (auto queued =
          take(answers().replaces, ReplaceAnswer::cancel, {AnsweredDialog::kReplace, target, {}, 0}))
    return *queued;
  auto box = make_replace_box(target);
  box->exec();
  const QAbstractButton* pressed = box->clickedButton();
  return pressed ? static_cast<ReplaceAnswer>(pressed->property(kAnswerProperty).toInt())
                 : ReplaceAnswer::cancel;
}

Text choose_folder(const Text& start, const Text& title) {
  if (auto queued = take(answers().folders, Text(), {AnsweredDialog::kFolder, start, title, 0}))
    return *queued;
  const QString chosen =
      QFileDialog::getExistingDirectory(nullptr, from_gbk(title), from_gbk(start), QFileDialog::ShowDirsOnly);
  return chosen.isEmpty() ? Text() : to_gbk(QDir::toNativeSeparators(chosen));
}

namespace next_answer {
void message(int result) { answers().messages.push_back(result); }
void folder(const Text& folder) { answers().folders.push_back(folder); }
void replace(ReplaceAnswer answer) { answers().replaces.push_back(answer); }
void set_unattended(bool on) { answers().unattended = on; }
void clear() {
  Answers& a = answers();
  a.messages.clear();
  a.folders.clear();
  a.replaces.clear();
}
}  // namespace next_answer

const std::vector<AnsweredDialog>& answered_dialogs() { return answers().log; }
void clear_answered_dialogs() { answers().log.clear(); }

}  // namespace quill::shell::gui
