#pragma once
// Copying a template's resource folder beside the pages.

#include <functional>
#include <string_view>

#include "base/text.h"
#include "base/wait.h"

namespace quill::generator {

enum class ReplaceAnswer { yes, yes_to_all, no, no_to_all, cancel };
// Asked before an existing file is replaced; gets the target path.
using ReplaceQuestion = std::function<ReplaceAnswer(const Text& target)>;

// Creates every missing folder along a path that ends in the separator.
bool MakeFolderPath(std::string_view path);
// Copies the entries of source into destination (files first, then folders with
// their whole contents), asking before replacing. True when nothing exists at
// source; false on cancel, a "no", or any failure. Symbolic-link loops end.
// Pumps the waiter after every entry; a stop request cancels.
bool CopyFolderContents(std::string_view source, std::string_view destination, const ReplaceQuestion& ask,
                        Waiter& waiter = NoUiWaiter());

}  // namespace quill::generator
