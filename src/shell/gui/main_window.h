#pragma once
// The program's one window drawn by Qt: the widgets of the control table and
// the view calls the window's controller makes.

#include <QWidget>

#include "shell/gui/link_opener.h"
#include "shell/window_controller.h"

namespace quill::shell::gui {

class MainWindow final : public QWidget, private WindowView {
 public:
  // Builds the controls and shows the session in them, before the window is shown.
  explicit MainWindow(ProgramSession& session);

  WindowController& controller() { return controller_; }
  QWidget* widget(Control control) const { return widgets_[control]; }
  // How hyperlinks are opened (the desktop's openers by default).
  void set_link_openers(LinkOpeners openers) { link_openers_ = std::move(openers); }
  // A quit from outside: saves and ends the program, whatever dialog is open.
  void quit();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void create(Control control, const ControlRow& row) override;
  Text text(Control control) const override;
  void set_text(Control control, const Text& text) override;
  bool checked(Control control) const override;
  int selection(Control control) const override;
  void set_items(Control control, const TextList& items) override;
  void set_selection(Control control, int index) override;
  void enable(Control control, bool on) override;
  void set_title(const Text& title) override;
  void message(const Text& text) override;
  generator::ReplaceAnswer ask_replace(const Text& target) override;
  Text choose_folder(const Text& start, const Text& title) override;
  bool edit_network(NetworkForm& form) override;
  Text network_dialog_place() const override;
  bool open_link(const Text& address) override;
  void close_window() override { close(); }
  bool pump() override;

  QWidget* widgets_[kControlCount] = {};
  LinkOpeners link_openers_ = DesktopLinkOpeners();
  WindowController controller_;
};

}  // namespace quill::shell::gui
