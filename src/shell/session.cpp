#include "shell/session.h"

#include "shell/network_settings.h"
#include "shell/program_folder.h"

namespace quill::shell {

ProgramSession OpenProgramFolder(Text program_dir, Waiter& waiter) {
  ProgramSession session;
  session.program_dir = std::move(program_dir);
  session.store.set_file(SettingsFilePath(session.program_dir));
  session.restored = RestoreSettings(session.store, InitialControls(), session.program_dir, [&] {
    session.templates = ListTemplateFolders(session.program_dir, waiter);
    return static_cast<int>(session.templates.size());
  });
  return session;
}

generator::RunEnvironment RunEnvironmentOf(const ProgramSession& session) {
  generator::RunEnvironment environment;
  environment.locate_template = [dir = session.program_dir](std::string_view name) {
    return TemplatePathsOf(dir, name);
  };
  ReadNetworkSettings(session.store.file(), environment);
  return environment;
}

}  // namespace quill::shell
