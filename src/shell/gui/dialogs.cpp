#include "shell/gui/dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <deque>
#include <optional>

#include "shell/gui/look.h"
#include "shell/gui/qt_text.h"

namespace quill::shell::gui {
namespace {

constexpr char kAnswerProperty[] = "replaceAnswer";

struct Answers {
  std::deque<int> messages;
  std::deque<Text> folders;
  std::deque<ReplaceAnswer> replaces;
  std::deque<std::optional<NetworkForm>> networks;
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

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// A title bar with the close button only, in the window's font.
void dress_dialog(QWidget& dialog) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  dialog.setFont(SongFont());
}

// Without an icon, the text starts at the margin: Qt keeps an indent there,
// and widens it when the buttons are wider than the text.
void drop_icon_space(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  for (int i = 0; i < grid->count(); ++i) {
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(i, &row, &column, &rows, &columns);
    if (QSpacerItem* indent = grid->itemAt(i)->spacerItem(); indent && column == 0)
      indent->changeSize(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
  }
  grid->setColumnStretch(1, 1);
  grid->setHorizontalSpacing(0);
  grid->invalidate();
}

}  // namespace

std::unique_ptr<QMessageBox> make_message_box(const Text& message, BoxIcon icon, const Text& caption) {
  auto box = std::make_unique<QMessageBox>();
  dress_dialog(*box);
  box->setWindowTitle(from_gbk(caption));
  box->setTextFormat(Qt::PlainText);
  box->setText(from_gbk_lines(message));
  box->setIcon(icon == BoxIcon::error ? QMessageBox::Critical : QMessageBox::NoIcon);
  // A button of our own: the standard OK carries the desktop theme's icon.
  QPushButton* ok = box->addButton(u("确定"), QMessageBox::AcceptRole);
  box->setDefaultButton(ok);
  box->setEscapeButton(ok);
  if (box->icon() == QMessageBox::NoIcon) drop_icon_space(*box);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

void run_message_box(const Text& message, BoxIcon icon, const Text& caption) {
  if (take(answers().messages, 1, {AnsweredDialog::kMessage, message, caption, icon})) return;
  make_message_box(message, icon, caption)->exec();
}

std::unique_ptr<QMessageBox> make_replace_box(const Text& target) {
  static const QString caption = QString::fromUtf8("确认文件替换");
  static const QString question = QString::fromUtf8("目标位置已有同名文件：\n%1\n\n要替换它吗？");
  auto box = std::make_unique<QMessageBox>();
  dress_dialog(*box);
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
  if (auto queued = take(answers().replaces, ReplaceAnswer::cancel, {AnsweredDialog::kReplace, target, {}}))
    return *queued;
  auto box = make_replace_box(target);
  box->exec();
  const QAbstractButton* pressed = box->clickedButton();
  return pressed ? static_cast<ReplaceAnswer>(pressed->property(kAnswerProperty).toInt())
                 : ReplaceAnswer::cancel;
}

FolderChooser::FolderChooser(const Text& start, const Text& title) {
  dress_dialog(*this);
  setWindowTitle(u("浏览文件夹"));
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(from_gbk(title), this));
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QDir::rootPath());
  tree_ = new QTreeView(this);
  tree_->setObjectName(u("folders"));
  tree_->setModel(model_);
  tree_->setHeaderHidden(true);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setMinimumSize(320, 300);
  layout->addWidget(tree_);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(u("文件夹："), this));
  folder_ = new QLineEdit(this);
  folder_->setObjectName(u("folder"));
  folder_->setAccessibleName(u("文件夹"));
  row->addWidget(folder_);
  layout->addLayout(row);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(u("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(u("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& at) {
    folder_->setText(QDir::toNativeSeparators(model_->filePath(at)));
  });
  // The box's folder selected, or the nearest folder above it that exists
  // with the box's folder (not made yet) in the edit field.
  const QString wanted = QDir::cleanPath(QDir::fromNativeSeparators(from_gbk(start)));
  QString existing = wanted;
  while (!existing.isEmpty() && !QFileInfo(existing).isDir() && existing != QDir::rootPath())
    existing = QFileInfo(existing).path();
  if (start.empty() || existing.isEmpty()) return;
  const QModelIndex at = model_->index(existing);
  tree_->setCurrentIndex(at);
  tree_->scrollTo(at);
  folder_->setText(QDir::toNativeSeparators(wanted));
}

Text FolderChooser::chosen() const {
  if (result() != QDialog::Accepted) return {};
  return txt_trim(to_gbk(folder_->text()));
}

Text choose_folder(const Text& start, const Text& title) {
  if (auto queued = take(answers().folders, Text(), {AnsweredDialog::kFolder, start, title})) return *queued;
  FolderChooser chooser(start, title);
  chooser.exec();
  return chooser.chosen();
}

namespace {
const char* const kNetworkFields[] = {"接口", "网关", "并发", "重试", "证书"};
Text NetworkForm::*const kNetworkMembers[] = {&NetworkForm::api, &NetworkForm::gateway, &NetworkForm::jobs,
                                              &NetworkForm::retries, &NetworkForm::ca_file};
}  // namespace

std::unique_ptr<QDialog> make_network_dialog(const NetworkForm& form) {
  auto dialog = std::make_unique<QDialog>();
  dress_dialog(*dialog);
  dialog->setWindowTitle(u("网络设置"));
  dialog->setWindowModality(Qt::ApplicationModal);
  auto* layout = new QFormLayout(dialog.get());
  for (std::size_t i = 0; i < std::size(kNetworkFields); ++i) {
    auto* box = new QLineEdit(from_gbk(form.*kNetworkMembers[i]), dialog.get());
    box->setObjectName(u(kNetworkFields[i]));
    box->setMinimumWidth(320);
    box->setAccessibleName(u(kNetworkFields[i]));
    layout->addRow(u(kNetworkFields[i]) + u("："), box);
  }
  auto* buttons = new QDialogButtonBox(dialog.get());
  buttons->addButton(u("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(u("取消"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  layout->addRow(buttons);
  return dialog;
}

NetworkForm network_dialog_values(const QDialog& dialog) {
  NetworkForm form;
  for (std::size_t i = 0; i < std::size(kNetworkFields); ++i)
    if (auto* box = dialog.findChild<QLineEdit*>(u(kNetworkFields[i])))
      form.*kNetworkMembers[i] = to_gbk(box->text());
  return form;
}

bool edit_network(NetworkForm& form) {
  if (auto queued =
          take(answers().networks, std::optional<NetworkForm>(), {AnsweredDialog::kNetwork, {}, {}})) {
    if (*queued) form = **queued;
    return queued->has_value();
  }
  auto dialog = make_network_dialog(form);
  if (dialog->exec() != QDialog::Accepted) return false;
  form = network_dialog_values(*dialog);
  return true;
}

namespace next_answer {
void message() { answers().messages.push_back(1); }
void network(std::optional<NetworkForm> form) { answers().networks.push_back(std::move(form)); }
void folder(const Text& folder) { answers().folders.push_back(folder); }
void replace(ReplaceAnswer answer) { answers().replaces.push_back(answer); }
void set_unattended(bool on) { answers().unattended = on; }
void clear() {
  Answers& a = answers();
  a.messages.clear();
  a.folders.clear();
  a.replaces.clear();
  a.networks.clear();
}
}  // namespace next_answer

const std::vector<AnsweredDialog>& answered_dialogs() { return answers().log; }
void clear_answered_dialogs() { answers().log.clear(); }

}  // namespace quill::shell::gui
