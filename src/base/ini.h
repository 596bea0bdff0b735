#pragma once
// INI files with the lookup and update rules of the Windows private-profile
// functions: GBK, CR LF, case-insensitive (ASCII) section and key names, the
// first of two equal sections counts, unknown lines kept as they are.

#include <string_view>
#include <utility>
#include <vector>

#include "base/convert.h"
#include "base/text.h"

namespace quill {

// The value of key in section, or fallback when the file, section or key is
// missing; "" (not the fallback) when file, section or key is empty after
// skipping leading bytes <= 0x20. The whole value is returned, however long.
Text ini_get(std::string_view file, std::string_view section, std::string_view key,
             std::string_view fallback = {});
// Writes key=value into section, replacing in place or appending; creates the
// file (not its folder). Written as file_write_private writes (a settings file
// holds the secret): the owner's alone, atomic unless only the file itself may
// be written. Section and key are trimmed
// as ini_get trims them, so " k" replaces k. False on an empty file, section or
// key, a key holding "=" or starting with "[", or CR or LF anywhere.
bool ini_put(std::string_view file, std::string_view section, std::string_view key, std::string_view value);

struct IniWrite {
  Text section, key, value;
};
// Several keys of any sections in one file update, applied in order. A write the
// one-line format cannot keep (as ini_put refuses it) is left out and the others
// are still written; the result is then false. On false, why (when given) gets a
// short GBK reason: the first refused write's, or why the file could not be
// read or written.
bool ini_put_many(std::string_view file, const std::vector<IniWrite>& writes, Text* why = nullptr);

// A settings file read once, for many lookups with the rules of ini_get. A
// missing or unreadable file reads as empty, so every lookup gives its fallback.
class IniView {
 public:
  IniView() = default;
  explicit IniView(std::string_view file);

  // As ini_get(file, section, key, fallback) at the time the view was made.
  Text get(std::string_view section, std::string_view key, std::string_view fallback = {}) const;

  // The IniStore lookups, over the snapshot.
  void set_section(std::string_view name) { section_ = Text(name); }
  Text get_text(std::string_view key, std::string_view fallback) const;
  double get_number(std::string_view key, double fallback) const;

 private:
  struct Section {
    std::size_t name_at, name_size, body_begin, body_end;
  };
  std::string_view text() const;

  bool named_ = false;  // the file path was not empty
  Bytes data_;
  std::vector<Section> sections_;
  Text section_;
};

// The program's settings-file accessor. Line breaks in values are stored as the
// escape marker "┊*┊" (GBK A9 AE 2A A9 AE).
class IniStore {
 public:
  static constexpr std::string_view kLineBreakEscape = "\xA9\xAE*\xA9\xAE";

  void set_file(std::string_view path) { file_ = Text(path); }
  void set_section(std::string_view name) { section_ = Text(name); }
  const Text& file() const { return file_; }
  const Text& section() const { return section_; }

  // The file read once, with this store's section, for many lookups.
  IniView snapshot() const;

  bool put_text(std::string_view key, std::string_view value);
  Text get_text(std::string_view key, std::string_view fallback) const;
  bool put_number(std::string_view key, double value);
  double get_number(std::string_view key, double fallback) const;

  // Collects the puts between begin_batch() and commit() into one file update
  // (reads in between see the file, not the pending values). Puts in a batch
  // return true; commit tells whether every put was written, as ini_put_many.
  void begin_batch();
  bool commit(Text* why = nullptr);

 private:
  bool put_raw(std::string_view key, Text value);

  Text file_;
  Text section_;
  bool batching_ = false;
  std::vector<IniWrite> pending_;
};

}  // namespace quill
