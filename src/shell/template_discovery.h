#pragma once

#include <string_view>

#include "base/text.h"

namespace quill {

// The names of the sub-folders of TemplatesRoot(program_dir) in scan order, "." and
// ".." left out; pumps the user interface after each.
TextList ListTemplateFolders(std::string_view program_dir);

}  // namespace quill
