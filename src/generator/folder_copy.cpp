#include "generator/folder_copy.h"

#include <set>

#include "base/fs.h"
#include "generator/folder_copy_platform.h"

namespace quill::generator {
namespace {

using copy_detail::PathKind;
using copy_detail::SystemPath;

// One copy operation: the remembered "to all" answer, the folders on the way
// down (their real paths, so a link back up is not followed twice), the source
// root (no link leads out of it) and the destination root (never copied into
// itself).
class Copier {
 public:
  Copier(const ReplaceQuestion& ask, Waiter& waiter, SystemPath source_root, SystemPath destination_root)
      : ask_(ask),
        waiter_(waiter),
        source_root_(std::move(source_root)),
        destination_root_(std::move(destination_root)) {}

  // Copies the entries of source (resolved to real) into the existing folder destination.
  void copy_contents(const Text& source, const SystemPath& real, const Text& destination) {
    if (skipped(real)) return;
    const auto listed = copy_detail::list_folder(source);
    if (!listed) return fail(source, SkipReason::unreadable);
    on_the_way_.insert(real);
    for (const auto& entry : files_then_folders(*listed)) {
      if (cancelled_) break;
      copy_entry(join(source, entry.name), join(destination, entry.name), entry.name_fits);
    }
    on_the_way_.erase(real);
  }

  CopyReport finish() {
    if (cancelled_) report_.ok = false;
    return std::move(report_);
  }

  void fail(const Text& path, SkipReason reason) {
    report_.ok = false;
    skip(path, reason);
  }

 private:
  static Text join(const Text& folder, const Text& name) { return txt_join(folder, kPathSeparator, name); }

  void skip(const Text& path, SkipReason reason) { report_.skipped.push_back({path, reason}); }

  // Files first, then folders, each in scan order; pumps after every entry and
  // treats a request to end the program as a cancel.
  std::vector<copy_detail::ListedEntry> files_then_folders(
      const std::vector<copy_detail::ListedEntry>& listed) {
    std::vector<copy_detail::ListedEntry> ordered;
    for (const bool folders : {false, true}) {
      for (const auto& entry : listed) {
        if (entry.folder == folders) ordered.push_back(entry);
        if (!pump()) return {};
      }
    }
    return ordered;
  }

  bool pump() {
    waiter_.pump();
    if (waiter_.stop_requested()) cancelled_ = true;
    return !cancelled_;
  }

  // Only regular files and folders that resolve inside the source root are copied.
  void copy_entry(const Text& source, const Text& target, bool name_fits) {
    if (!name_fits) return skip(source, SkipReason::name_not_in_code_page);
    const copy_detail::Resolved resolved = copy_detail::resolve(source);
    if (resolved.real.empty()) {
      if (resolved.kind == PathKind::link) return skip(source, SkipReason::link_outside);
      return fail(source, SkipReason::unreadable);
    }
    if (!copy_detail::inside(resolved.real, source_root_)) return skip(source, SkipReason::link_outside);
    switch (resolved.kind) {
      case PathKind::file:
        return copy_file(source, resolved.real, target);
      case PathKind::folder:
        return copy_folder(source, resolved.real, target);
      case PathKind::missing:
        return fail(source, SkipReason::unreadable);
      case PathKind::link:
      case PathKind::special:
        return skip(source, SkipReason::not_regular_file);
    }
  }

  void copy_file(const Text& source, const SystemPath& real, const Text& target) {
    const PathKind existing = copy_detail::kind_at(target);
    if (existing == PathKind::folder) return fail(target, SkipReason::unwritable);
    if (existing != PathKind::missing && !may_replace(target)) {
      report_.ok = false;
      return;
    }
    switch (copy_detail::copy_file(real, target)) {
      case copy_detail::FileCopy::copied:
        return;
      case copy_detail::FileCopy::not_regular:
        return skip(source, SkipReason::not_regular_file);
      case copy_detail::FileCopy::unreadable:
        return fail(source, SkipReason::unreadable);
      case copy_detail::FileCopy::unwritable:
        return fail(target, SkipReason::unwritable);
    }
  }

  bool skipped(const SystemPath& real) const {
    return real == destination_root_ || on_the_way_.count(real) > 0;
  }

  // A link where the folder should go is refused: writing into it would write
  // wherever it points.
  void copy_folder(const Text& source, const SystemPath& real, const Text& target) {
    if (skipped(real)) return;
    const PathKind existing = copy_detail::kind_at(target);
    if (existing != PathKind::folder && (existing != PathKind::missing || !dir_create(target)))
      return fail(target, SkipReason::unwritable);
    copy_contents(source, real, target);
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
  const SystemPath source_root_;
  const SystemPath destination_root_;
  std::set<SystemPath> on_the_way_;
  CopyReport report_;
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

CopyReport CopyFolderContents(std::string_view source, std::string_view destination,
                              const ReplaceQuestion& ask, Waiter& waiter) {
  if (!path_exists(source)) return {};
  const Text target(destination);
  MakeFolderPath(txt_join(destination, kPathSeparator));
  const copy_detail::Resolved root = copy_detail::resolve(source);
  Copier copier(ask, waiter, root.real, copy_detail::resolve(target).real);
  // The destination must be a folder itself: through a link the copy would land elsewhere.
  if (copy_detail::kind_at(target) != PathKind::folder) {
    copier.fail(target, SkipReason::unwritable);
  } else if (root.kind != PathKind::folder) {
    copier.fail(Text(source), SkipReason::unreadable);
  } else {
    copier.copy_contents(Text(source), root.real, target);
  }
  return copier.finish();
}

}  // namespace quill::generator
