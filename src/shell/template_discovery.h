#pragma once

#include <string_view>

#include "base/text.h"

namespace quill {

// program_dir + separator + "模板".
Text TemplatesFolder(std::string_view program_dir);
// The names of the sub-folders of the templates folder in scan order, "." and
// ".." left out; pumps the user interface after each.
TextList ListTemplateFolders(std::string_view program_dir);

}  // namespace quill
