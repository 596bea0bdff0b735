#pragma once
// Copying a template's resource folder beside the pages.

#include <functional>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/wait.h"
#include "generator/replace_answer.h"

namespace quill::generator {

// Asked before an existing file is replaced; gets the target path.
using ReplaceQuestion = std::function<ReplaceAnswer(const Text& target)>;

// Why an entry did not arrive in the destination.
enum class SkipReason {
  link_outside,           // a symbolic link that does not resolve inside the source folder (or at all)
  not_regular_file,       // a FIFO, device, socket or other special entry
  name_not_in_code_page,  // GBK cannot hold the name; the path shows "?" where it cannot
  unreadable,             // a file or folder of the source that could not be read
  unwritable,             // the target (the path names it) could not be written or is in the way
};
struct SkippedEntry {
  Text path;
  SkipReason reason;
};
struct CopyReport {
  // False on cancel, a "no" answer, or a file or folder that could not be
  // copied (unreadable, unwritable); skipped links, special entries and
  // unnamable entries leave it true.
  bool ok = true;
  std::vector<SkippedEntry> skipped;  // in the order met
};

// Creates every missing folder along a path that ends in the separator.
bool MakeFolderPath(std::string_view path);
// Copies the regular files and folders of source into destination (files
// first, then folders with their whole contents), asking before replacing. A
// symbolic link is copied as what it points to only when that lies inside
// source; nothing is ever read through another link or from a special file,
// and nothing is written through a link in the destination (a link where a
// file goes is replaced by the file, one where a folder goes is refused).
// Nothing is created and ok is true when nothing exists at source. Link loops
// end. Pumps the waiter after every entry; a stop request cancels.
CopyReport CopyFolderContents(std::string_view source, std::string_view destination,
                              const ReplaceQuestion& ask, Waiter& waiter);

}  // namespace quill::generator
