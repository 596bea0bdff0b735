#include "generator/folder_copy.h"

#include <set>

#include "base/fs.h"
#include "base/wait.h"
#include "generator/folder_copy_posix.h"

namespace quill::generator {
namespace {

// One copy operation: the remembered "to all" answer, the folders on the way
// down (their real paths, so a link back up is not followed twice) and the
// destination root (never copied into itself).
class Copier {
 public:
  Copier(const ReplaceQuestion& ask, Waiter& waiter) : ask_(ask), waiter_(waiter) {}

  void set_destination_root(Text real) { destination_root_ = std::move(real); }

  // Copies the entries of source into the existing folder destination; a source
  // already on the way down (a link loop) or the destination root itself is skipped.
  bool copy_contents(const Text& source, const Text& destination) {
    const Text real = copy_detail::real_path(source);
    if (real.empty()) return false;
    if (skipped(real)) return true;
    return copy_entries(source, real, destination);
  }

 private:
  static Text join(const Text& folder, const Text& name) { return txt_join(folder, kPathSeparator, name); }

  // copy_contents once source's real path is known and not skipped.
  bool copy_entries(const Text& source, const Text& real, const Text& destination) {
    on_the_way_.insert(real);
    TextList files, folders;
    bool ok = list_entries(source, files, folders);
    for (const Text& name : files) {
      if (cancelled_) break;
      ok = copy_file(join(source, name), join(destination, name)) && ok;
    }
    for (const Text& name : folders) {
      if (cancelled_) break;
      ok = copy_folder(join(source, name), join(destination, name)) && ok;
    }
    on_the_way_.erase(real);
    return ok && !cancelled_;
  }

  // Files first, then folders, each in scan order; pumps after every entry and
  // treats a request to end the program as a cancel.
  bool list_entries(const Text& source, TextList& files, TextList& folders) {
    const Text pattern = join(source, "*");
    DirScanState scan;
    for (Text name = dir_scan_next(pattern, 0, true, scan); !name.empty();
         name = dir_scan_next("", 0, true, scan)) {
      files.push_back(name);
      if (!pump()) return false;
    }
    for (Text name = dir_scan_next(pattern, kAttrDirectory, false, scan); !name.empty();
         name = dir_scan_next("", kAttrDirectory, false, scan)) {
      if (name != "." && name != "..") folders.push_back(name);
      if (!pump()) return false;
    }
    return true;
  }

  bool pump() {
    waiter_.pump();
    if (waiter_.stop_requested()) cancelled_ = true;
    return !cancelled_;
  }

  bool copy_file(const Text& source, const Text& target) {
    if (copy_detail::is_folder(target)) return false;
    if (path_exists(target) && !may_replace(target)) return false;
    if (cancelled_) return false;
    const auto data = copy_detail::read_file(source);
    return data && file_write_all(target, *data);
  }

  bool skipped(const Text& real) const { return real == destination_root_ || on_the_way_.count(real) > 0; }

  bool copy_folder(const Text& source, const Text& target) {
    const Text real = copy_detail::real_path(source);
    if (real.empty()) return false;
    if (skipped(real)) return true;
    if (!copy_detail::is_folder(target)) {
      if (path_exists(target) || !dir_create(target)) return false;
    }
    return copy_entries(source, real, target);
  }

  bool may_replace(const Text& target) {
    if (replace_all_) return true;
    if (skip_all_) return false;
    switch (ask_ ? ask_(target) : ReplaceAnswer::yes) {
      case ReplaceAnswer::yes:
        return true;
      case ReplaceAnswer::yes_to_all:
        replace_all_ = true;
        return true;
      case ReplaceAnswer::no:
        return false;
      case ReplaceAnswer::no_to_all:
        skip_all_ = true;
        return false;
      case ReplaceAnswer::cancel:
        cancelled_ = true;
        return false;
    }
    return false;
  }

  const ReplaceQuestion& ask_;
  Waiter& waiter_;
  std::set<Text> on_the_way_;
  Text destination_root_;
  bool replace_all_ = false;
  bool skip_all_ = false;
  bool cancelled_ = false;
};

bool is_drive(std::string_view prefix) { return prefix.size() == 2 && prefix[1] == ':'; }

}  // namespace

bool MakeFolderPath(std::string_view path) {
  for (int sep = txt_find(path, kPathSeparator); sep > 0; sep = txt_find(path, kPathSeparator, sep + 1)) {
    const Text prefix = txt_left(path, sep - 1);
    // The root ("" before a leading separator) and a drive exist by themselves.
    if (prefix.empty() || is_drive(prefix)) continue;
    if (!path_exists(prefix) && !dir_create(prefix)) return false;
  }
  return true;
}

bool CopyFolderContents(std::string_view source, std::string_view destination, const ReplaceQuestion& ask,
                        Waiter& waiter) {
  if (!path_exists(source)) return true;
  const Text target(destination);
  MakeFolderPath(txt_join(destination, kPathSeparator));
  if (!copy_detail::is_folder(target)) return false;
  Copier copier(ask, waiter);
  copier.set_destination_root(copy_detail::real_path(target));
  return copier.copy_contents(Text(source), target);
}

}  // namespace quill::generator
