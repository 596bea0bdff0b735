#pragma once
// The file-system pieces of the folder copy that the base layer does not offer.

#include <optional>
#include <string_view>

#include "base/convert.h"
#include "base/text.h"

namespace quill::generator::copy_detail {

// The resolved path (links followed), "" when the path cannot be resolved.
Text real_path(std::string_view path);
// The whole file, nullopt when it cannot be read (an empty file is not a failure).
std::optional<Bytes> read_file(std::string_view path);
// True when path names a folder (a link to a folder counts).
bool is_folder(std::string_view path);

}  // namespace quill::generator::copy_detail
