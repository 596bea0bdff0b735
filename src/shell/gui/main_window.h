#pragma once
// The program's one window: the controls, their settings and the button events.

#include <QWidget>
#include <memory>
#include <stop_token>

#include "base/text.h"
#include "shell/gui/link_opener.h"
#include "shell/session.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quill::shell::gui {

class MainWindow final : public QWidget {
 public:
  // Builds the controls and shows the session's templates and restored
  // values in them, all before the window is shown.
  explicit MainWindow(ProgramSession& session);
  // Stops a run in progress at its next wait and saves the settings unless
  // closing already did (saying so when that fails).
  ~MainWindow() override;

  // The ten stored controls as they are now / set from values (indexes fitted).
  StoredControls stored_controls() const;
  void apply(const StoredControls& values);

  bool closing() const { return closing_; }
  // Writes the settings; when that fails, says which file and why. False when
  // they were not saved.
  bool save_settings();
  // True while a generation run holds the "生成" button disabled.
  bool running() const;

  // Button events.
  void Generate();
  void SaveWithMessage();
  void ShowTemplateRules();
  void ShowHelp();
  void ChooseSaveDirectory();
  // Opens a hyperlink's address; says so when nothing could open it.
  void OpenHyperlink(const QUrl& address);

  // How hyperlinks are opened (the desktop's openers by default).
  void set_link_openers(LinkOpeners openers) { link_openers_ = std::move(openers); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Controls;
  class Host;
  friend class Controls;
  friend class Host;

  void build_controls();
  void show_session();
  void save_at_session_end();
  // Marks the window closing and saves the settings, the first time only.
  void close_once();

  ProgramSession& session_;
  std::stop_source stop_;  // the run in progress, if any, ends when this stops
  bool closing_ = false;
  LinkOpeners link_openers_ = DesktopLinkOpeners();

  QPlainTextEdit* keywords_ = nullptr;
  QLineEdit* app_key_ = nullptr;
  QLineEdit* secret_ = nullptr;
  QLineEdit* count_ = nullptr;
  QLineEdit* pid_ = nullptr;
  QComboBox* sort_ = nullptr;
  QComboBox* template_ = nullptr;
  QComboBox* picture_size_ = nullptr;
  QLineEdit* save_dir_ = nullptr;
  QComboBox* path_style_ = nullptr;
  QComboBox* short_service_ = nullptr;
  QCheckBox* short_links_ = nullptr;
  QPushButton* generate_ = nullptr;
};

}  // namespace quill::shell::gui
