#include "base/ini.h"

#include <optional>

#include "base/convert.h"
#include "base/fs.h"

namespace quill {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// Leading bytes up to 0x20 go, as the Windows reader skips them.
std::string_view skip_control(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  return s;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && txt_upper(a) == txt_upper(b);
}

enum class LineKind { other, section, key };

// One line of the file as it was read: its bytes and its own line end, so lines
// nobody changes are written back exactly.
struct Line {
  Text content;
  Text ending;
  LineKind kind = LineKind::other;
  std::size_t name_at = 0, name_size = 0;  // section or key name within content
  std::size_t equals = 0;                  // key lines: index of the '='

  std::string_view name() const { return std::string_view(content).substr(name_at, name_size); }
  std::string_view value() const { return trim_blanks(std::string_view(content).substr(equals + 1)); }

  void classify() {
    std::string_view all = content;
    std::string_view trimmed = trim_blanks(all);
    kind = LineKind::other;
    if (!trimmed.empty() && trimmed.front() == '[') {
      std::size_t close = trimmed.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        kind = LineKind::section;
        set_name(trimmed.substr(1, close - 1));
        return;
      }
    }
    std::size_t eq = all.find('=');
    if (eq != std::string_view::npos) {
      kind = LineKind::key;
      equals = eq;
      set_name(all.substr(0, eq));
    }
  }

 private:
  void set_name(std::string_view raw) {
    std::string_view name = trim_blanks(raw);
    name_at = static_cast<std::size_t>(name.data() - content.data());
    name_size = name.size();
  }
};

struct IniFile {
  Text bom;
  std::vector<Line> lines;
};

IniFile parse(std::string_view data) {
  IniFile file;
  if (data.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    file.bom = Text(kUtf8Bom);
    data.remove_prefix(kUtf8Bom.size());
  }
  // CR LF, LF and a lone CR all end a line.
  for (std::size_t p = 0; p < data.size();) {
    std::size_t end = data.find_first_of("\r\n", p);
    Line line;
    if (end == std::string_view::npos) {
      line.content = Text(data.substr(p));
      p = data.size();
    } else {
      std::size_t ending = data.compare(end, 2, kCrLf) == 0 ? 2 : 1;
      line.content = Text(data.substr(p, end - p));
      line.ending = Text(data.substr(end, ending));
      p = end + ending;
    }
    line.classify();
    file.lines.push_back(std::move(line));
  }
  return file;
}

Text serialize(const IniFile& file) {
  Text out = file.bom;
  for (const Line& line : file.lines) out.append(line.content).append(line.ending);
  return out;
}

// False when the file exists but cannot be read.
bool load(std::string_view path, IniFile& ini) {
  Bytes bytes;
  bool ok = file_read_or_missing(path, bytes);
  ini = parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return ok;
}

// Index of the first header of the section, if any.
std::optional<std::size_t> find_section(const IniFile& file, std::string_view section) {
  for (std::size_t i = 0; i < file.lines.size(); ++i)
    if (file.lines[i].kind == LineKind::section && same_name(file.lines[i].name(), section)) return i;
  return std::nullopt;
}

// Index one past the section's last line (the next header or the end).
std::size_t section_end(const IniFile& file, std::size_t header) {
  std::size_t i = header + 1;
  while (i < file.lines.size() && file.lines[i].kind != LineKind::section) ++i;
  return i;
}

std::optional<std::size_t> find_key(const IniFile& file, std::size_t header, std::string_view key) {
  for (std::size_t i = header + 1, end = section_end(file, header); i < end; ++i)
    if (file.lines[i].kind == LineKind::key && same_name(file.lines[i].name(), key)) return i;
  return std::nullopt;
}

Line make_line(Text content) {
  Line line;
  line.content = std::move(content);
  line.ending = Text(kCrLf);
  return line;
}

void insert_line(IniFile& file, std::size_t at, Line line) {
  // A last line without its line end gets one before anything follows it.
  if (at > 0 && file.lines[at - 1].ending.empty()) file.lines[at - 1].ending = Text(kCrLf);
  line.classify();
  file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void put_one(IniFile& file, const IniWrite& write) {
  std::optional<std::size_t> header = find_section(file, write.section);
  if (!header) {
    insert_line(file, file.lines.size(), make_line("[" + write.section + "]"));
    insert_line(file, file.lines.size(), make_line(write.key + "=" + write.value));
    return;
  }
  if (std::optional<std::size_t> at = find_key(file, *header, write.key)) {
    // The value is replaced in place; the name keeps its spelling and spacing.
    Line& line = file.lines[*at];
    line.content = line.content.substr(0, line.equals + 1) + write.value;
    line.classify();
    return;
  }
  // After the section's last non-blank line, so blank lines before the next
  // section stay where they are.
  std::size_t at = section_end(file, *header);
  while (at > *header + 1 && trim_blanks(file.lines[at - 1].content).empty()) --at;
  insert_line(file, at, make_line(write.key + "=" + write.value));
}

bool writable(const IniWrite& write) {
  return !write.section.empty() && !write.key.empty() && write.value.find_first_of("\r\n") == Text::npos &&
         write.key.find_first_of("\r\n") == Text::npos && write.section.find_first_of("\r\n") == Text::npos;
}

Text unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return Text(value);
}

}  // namespace

Text ini_get(std::string_view file, std::string_view section, std::string_view key,
             std::string_view fallback) {
  file = skip_control(file);
  section = trim_blanks(skip_control(section));
  key = trim_blanks(skip_control(key));
  if (file.empty() || section.empty() || key.empty()) return {};
  IniFile ini;
  load(file, ini);
  std::optional<std::size_t> header = find_section(ini, section);
  if (!header) return Text(fallback);
  std::optional<std::size_t> at = find_key(ini, *header, key);
  if (!at) return Text(fallback);
  return unquote(ini.lines[*at].value());
}

bool ini_put_many(std::string_view file, const std::vector<IniWrite>& writes) {
  if (file.empty()) return false;
  for (const IniWrite& write : writes)
    if (!writable(write)) return false;
  IniFile ini;
  if (!load(file, ini)) return false;
  for (const IniWrite& write : writes) put_one(ini, write);
  return file_write_all(file, text_to_bytes(serialize(ini)));
}

bool ini_put_all(std::string_view file, std::string_view section,
                 const std::vector<std::pair<Text, Text>>& entries) {
  std::vector<IniWrite> writes;
  writes.reserve(entries.size());
  for (const auto& [key, value] : entries) writes.push_back({Text(section), key, value});
  return ini_put_many(file, writes);
}

bool ini_put(std::string_view file, std::string_view section, std::string_view key, std::string_view value) {
  return ini_put_many(file, {{Text(section), Text(key), Text(value)}});
}

bool IniStore::put_text(std::string_view key, std::string_view value) {
  return put_raw(key, txt_replace(value, "\r\n", kLineBreakEscape));
}

Text IniStore::get_text(std::string_view key, std::string_view fallback) const {
  Text escaped_fallback = txt_replace(fallback, "\r\n", kLineBreakEscape);
  return txt_replace(ini_get(file_, section_, key, escaped_fallback), kLineBreakEscape, "\r\n");
}

bool IniStore::put_number(std::string_view key, double value) { return put_raw(key, to_text(value)); }

double IniStore::get_number(std::string_view key, double fallback) const {
  return to_double(ini_get(file_, section_, key, to_text(fallback)));
}

void IniStore::begin_batch() {
  batching_ = true;
  pending_.clear();
}

bool IniStore::commit() {
  batching_ = false;
  std::vector<IniWrite> writes = std::move(pending_);
  pending_.clear();
  return writes.empty() || ini_put_many(file_, writes);
}

bool IniStore::put_raw(std::string_view key, Text value) {
  if (!batching_) return ini_put(file_, section_, key, value);
  pending_.push_back({section_, Text(key), std::move(value)});
  return true;
}

}  // namespace quill
