#pragma once
// The window's modal dialogs: message boxes, the replace question of the
// resource copy, the folder chooser and the network dialog. Each can be answered in advance
// ("next answers"), so that tests drive the window without anyone clicking.

#include <QDialog>
#include <QMessageBox>
#include <memory>
#include <optional>
#include <vector>

#include "base/text.h"
#include "generator/replace_answer.h"
#include "shell/network_settings.h"

class QFileSystemModel;
class QLineEdit;
class QTreeView;

namespace quill::shell::gui {

using generator::ReplaceAnswer;

enum class BoxIcon { none, error };
// A box as show_message shows it, not yet run: no owner, application-modal, one
// plain "确定" button, the error icon or no room for one, "\r\n" shown as
// breaks, a close button as its only title-bar button.
std::unique_ptr<QMessageBox> make_message_box(const Text& message, BoxIcon icon, const Text& caption);
// Shows the box until its one button closes it.
void run_message_box(const Text& message, BoxIcon icon, const Text& caption);

// The question before an existing file is replaced: "是", "全部是", "否",
// "全部否", "取消"; Escape or closing the box answers "取消".
std::unique_ptr<QMessageBox> make_replace_box(const Text& target);
ReplaceAnswer ask_replace(const Text& target);

// The folder chooser: a tree of the folders from the root, in Chinese, with
// the title above it and an edit field below holding the chosen folder. It
// opens at start (the nearest folder above it that exists, with start itself
// in the field, since the run makes its save folder) and may be given a folder
// that does not exist yet in the field.
class FolderChooser final : public QDialog {
 public:
  FolderChooser(const Text& start, const Text& title);
  // The folder it was accepted with; "" when it was cancelled.
  Text chosen() const;

 private:
  QFileSystemModel* model_ = nullptr;
  QTreeView* tree_ = nullptr;
  QLineEdit* folder_ = nullptr;
};
// Runs a chooser; "" when cancelled.
Text choose_folder(const Text& start, const Text& title);

// The network dialog over form: five edit boxes, "确定" and "取消"; false
// when it was cancelled, form then as it was.
std::unique_ptr<QDialog> make_network_dialog(const NetworkForm& form);
NetworkForm network_dialog_values(const QDialog& dialog);
bool edit_network(NetworkForm& form);

// Answers given in advance, first in first out, one queue per kind of dialog.
// A dialog with a queued answer is not shown.
namespace next_answer {
void message();
void folder(const Text& folder);  // "" answers as a cancel
void replace(ReplaceAnswer answer);
void network(std::optional<NetworkForm> form);  // nullopt answers as a cancel
// Unattended: a dialog with no queued answer is not shown either; it answers
// OK, cancel or "取消".
void set_unattended(bool on);
void clear();
}  // namespace next_answer

// Dialogs answered without being shown, oldest first.
struct AnsweredDialog {
  enum Kind { kMessage, kFolder, kReplace, kNetwork } kind;
  Text text;     // message, start folder or replace target
  Text caption;  // caption or chooser title
  BoxIcon icon = BoxIcon::none;
};
const std::vector<AnsweredDialog>& answered_dialogs();
void clear_answered_dialogs();

}  // namespace quill::shell::gui
