#pragma once
// The program's one window, whatever draws it: the control table, the events,
// the run, the saves, the dialogs' rules. A view (the Qt window, the Windows
// window, a test's fake) builds its widgets from the table and answers the
// few calls of WindowView; everything a user could see decided is here.

#include <span>
#include <stop_token>

#include "base/text.h"
#include "base/wait.h"
#include "generator/replace_answer.h"
#include "shell/network_settings.h"
#include "shell/session.h"

namespace quill::shell {

enum class ControlKind { label, keywords, edit, count, combo, button, check, link };

// The controls in creation and tab order; each is its row of WindowLayout().
enum Control : int {
  kKeywordsLabel,
  kKeywords,
  kHelp,
  kTemplateRules,
  kSave,
  kGenerate,
  kAppKeyLabel,
  kAppKey,
  kSecretLabel,
  kSecret,
  kCountLabel,
  kCount,
  kLimit,
  kPidLabel,
  kPid,
  kSortLabel,
  kSort,
  kTemplateLabel,
  kTemplate,
  kPictureSizeLabel,
  kPictureSize,
  kSaveDirLabel,
  kSaveDir,
  kChoose,
  kPathStyleLabel,
  kPathStyle,
  kShortServiceLabel,
  kShortService,
  kShortLinks,
  kUpgradeLink,
  kMoreLink,
  kControlCount
};

// One control as drawn: texts are GBK.
struct ControlRow {
  Text name;  // "编辑框关键词"
  ControlKind kind;
  Text caption;                             // a label's, button's or link's text; an edit box's initial text
  int x = 0, y = 0, width = 0, height = 0;  // client pixels
  TextList items = {};                      // a combo box's fixed items
  int selection = -1;                       // a combo box's initial selection
  bool song = false;                        // SimSun 12 px instead of the window's font
  unsigned colour = 0;                      // 0xRRGGBB text colour, 0 for the default
  Text address = {};                        // a link's web address
  int label = -1;                           // the label that names this control to a screen reader
};

std::span<const ControlRow> WindowLayout();
inline constexpr int kClientWidth = 518;
inline constexpr int kClientHeight = 320;
// An open drop-down list is at least this tall.
inline constexpr int kOpenListHeight = 160;
Text InitialTitle();  // "Quillmoor v1.22"

// Typed into the count box: digits and "-" go in, other printable characters
// are dropped; control characters (backspace, the paste key) pass.
bool CountBoxAccepts(char32_t typed);

// What the controller asks of the toolkit. Controls are named by their row.
class WindowView {
 public:
  virtual ~WindowView() = default;
  virtual void create(Control control, const ControlRow& row) = 0;
  // Edit boxes: their text (lines joined by CR LF); a combo box: its selected item, "" for none.
  virtual Text text(Control control) const = 0;
  virtual void set_text(Control control, const Text& text) = 0;
  virtual bool checked(Control control) const = 0;
  virtual int selection(Control control) const = 0;
  virtual void set_items(Control control, const TextList& items) = 0;
  virtual void set_selection(Control control, int index) = 0;  // already fitted
  virtual void enable(Control control, bool on) = 0;
  virtual void set_title(const Text& title) = 0;
  virtual void message(const Text& text) = 0;  // caption "信息：", one OK button
  virtual generator::ReplaceAnswer ask_replace(const Text& target) = 0;
  virtual Text choose_folder(const Text& start, const Text& title) = 0;  // "" when cancelled
  // Shows the network dialog over form; false when it was cancelled.
  virtual bool edit_network(NetworkForm& form) = 0;
  // Where the user opens that dialog in this toolkit, for the help text (GBK).
  virtual Text network_dialog_place() const = 0;
  virtual bool open_link(const Text& address) = 0;
  // The window goes: a close held back while a run ended.
  virtual void close_window() = 0;
  // One round of waiting input; true when any was handled.
  virtual bool pump() = 0;
  virtual bool pumps_message_queue() const { return false; }
};

class WindowController {
 public:
  WindowController(ProgramSession& session, WindowView& view);
  // Stops a run in progress and saves, unless a close already did.
  ~WindowController();
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  // Builds the controls from the table and shows the session in them.
  void build();
  // A click on a button or link.
  void click(Control control);
  void open_network_dialog();
  // The user closes the window: stop the run, save (saying so when that
  // fails). True when the window may go now; false while a run still holds
  // the controls: close_window() comes when it has ended.
  bool close();
  // A quit from outside (a signal, the session's end): as close, but a failed
  // save goes to standard error, since no one may be there to click a box.
  void quit();
  // The desktop session ends: save, nothing more.
  void save_for_session_end();

  StoredControls stored_controls() const;
  bool running() const { return running_; }
  bool closing() const { return closing_; }

 private:
  class ViewWaiter final : public Waiter {
   public:
    ViewWaiter(WindowView& view, std::stop_source& stop) : view_(view), stop_(stop) {}
    bool pump() override { return view_.pump(); }
    bool stop_requested() const override { return stop_.stop_requested(); }
    bool pumps_message_queue() const override { return view_.pumps_message_queue(); }

   private:
    WindowView& view_;
    std::stop_source& stop_;
  };

  void apply(const StoredControls& values);
  void generate();
  bool save(bool to_console);
  void close_once(bool to_console);
  void choose_save_directory();
  void open_link(Control link);

  ProgramSession& session_;
  WindowView& view_;
  std::stop_source stop_;  // the run in progress, if any, ends when this stops
  ViewWaiter waiter_{view_, stop_};
  bool running_ = false;
  bool closing_ = false;
  bool close_after_run_ = false;
};

}  // namespace quill::shell
