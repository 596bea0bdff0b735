#include "shell/session.h"

#include "shell/network_settings.h"

namespace quill::shell {

ProgramSession OpenProgramFolder(Text program_dir, Waiter& waiter) {
  return OpenProgramFolder(ChooseProgramFolders(std::move(program_dir)), waiter);
}

ProgramSession OpenProgramFolder(ProgramFolders folders, Waiter& waiter) {
  ProgramSession session;
  session.refused = PrepareUserFolders(folders);
  session.program_dir = folders.program_dir;
  session.folders = std::move(folders);
  if (!session.refused.empty()) {
    session.restored = InitialControls();
    return session;
  }
  session.store.set_file(SettingsFilePath(session.folders.config_dir));
  // The default save folder is data_dir/已生成: beside the program when portable.
  session.restored = RestoreSettings(session.store, InitialControls(), session.folders.data_dir, [&] {
    session.templates = ListTemplateFolders(session.folders, waiter);
    return session.templates;
  });
  return session;
}

generator::RunEnvironment RunEnvironmentOf(const ProgramSession& session) {
  generator::RunEnvironment environment;
  environment.locate_template = [folders = session.folders](std::string_view name) {
    return TemplatePathsOf(folders, name);
  };
  // An administrator's addresses beside an installed program, the user's over them.
  if (!session.folders.portable())
    ReadNetworkSettings(SettingsFilePath(session.folders.program_dir), environment);
  ReadNetworkSettings(session.store.file(), environment);
  return environment;
}

}  // namespace quill::shell
