#include "shell/template_discovery.h"

#include "base/fs.h"
#include "base/ui_hooks.h"
#include "generator/template_format.h"

namespace quill {

TextList ListTemplateFolders(std::string_view program_dir) {
  TextList names;
  DirScanState scan;
  const Text pattern = txt_join(TemplatesRoot(program_dir), kPathSeparator, "*");
  for (Text name = dir_scan_next(pattern, kAttrDirectory, false, scan); !name.empty();
       name = dir_scan_next("", kAttrDirectory, false, scan)) {
    if (name != "." && name != "..") names.push_back(name);
    pump_events();
  }
  dir_scan_close(scan);
  return names;
}

}  // namespace quill
