#pragma once
// One opened program folder, as the window and the batch tool both start from
// it: the settings store, the template list, the restored values and the
// network settings.

#include "base/ini.h"
#include "base/wait.h"
#include "generator/generation_run.h"
#include "shell/program_folder.h"
#include "shell/settings_file.h"

namespace quill::shell {

struct ProgramSession {
  Text program_dir;
  ProgramFolders folders;  // where the settings, the save folder and the templates are
  IniStore store;          // the settings file
  TextList templates;      // the template list, in scan order
  StoredControls restored;
  // Why the user's folders may not be used (GBK, naming the folder), "" when
  // they may. Then nothing was read, the store has no file, and the window or
  // the batch tool only shows this and ends.
  Text refused;
};

// Reads the settings file over the controls' initial values; the template list
// is made in the middle of the restore, pumping the waiter. A missing or
// unreadable settings file gives the initial values. The folders are chosen
// once, here (ChooseProgramFolders): beside the program when it can be
// written, the user's folders otherwise, created when missing (one that is a
// symbolic link or another user's is refused: ProgramSession::refused).
ProgramSession OpenProgramFolder(Text program_dir, Waiter& waiter);
// As above over folders already chosen (tests choose them).
ProgramSession OpenProgramFolder(ProgramFolders folders, Waiter& waiter);

// What a run needs of the program folder, read anew for each run: where
// templates are, and the network settings: those of the program folder's
// settings file, then those of the user's, key by key.
generator::RunEnvironment RunEnvironmentOf(const ProgramSession& session);

// A run's view of stored values instead of a window: the batch tool's.
class StoredRunControls final : public generator::RunControls {
 public:
  // service: the short-link service, -1 for no short links.
  StoredRunControls(StoredControls stored, Text template_name, int short_link_service)
      : stored_(std::move(stored)), template_name_(std::move(template_name)), service_(short_link_service) {}
  Text keywords() override { return stored_.keywords; }
  int sort_index() override { return stored_.sort; }
  Text template_name() override { return template_name_; }
  Text save_folder() override { return stored_.save_dir; }
  int path_style() override { return stored_.path_style; }
  Text item_count() override { return stored_.count; }
  Text pid() override { return stored_.pid; }
  Text app_key() override { return stored_.app_key; }
  Text app_secret() override { return stored_.app_secret; }
  bool short_links() override { return service_ >= 0; }
  int short_link_service() override { return service_ >= 0 ? service_ : 0; }
  int picture_size_index() override { return stored_.picture_size; }

 private:
  StoredControls stored_;
  Text template_name_;
  int service_;
};

}  // namespace quill::shell
