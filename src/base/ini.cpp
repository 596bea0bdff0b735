#include "base/ini.h"

#include <optional>

#include "base/convert.h"
#include "base/fs.h"

namespace quill {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kCannotKeepLineBreak =
    "\xCE\xDE\xB7\xA8\xB1\xA3\xB4\xE6\xBB\xBB\xD0\xD0\xB7\xFB";  // 无法保存换行符
constexpr std::string_view kBadName =
    "\xC9\xE8\xD6\xC3\xCF\xEE\xC3\xFB\xB3\xC6\xCE\xDE\xD0\xA7";                       // 设置项名称无效
constexpr std::string_view kNoFileName = "\xCE\xC4\xBC\xFE\xC3\xFB\xCE\xDE\xD0\xA7";  // 文件名无效

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

// A section or key name as lookups and writes compare it.
std::string_view clean_name(std::string_view name) { return trim_blanks(skip_control(name)); }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// txt_upper(a) == txt_upper(b) without building either.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  bool a_second = false, b_second = false;  // at the second byte of a pair
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a_second ? a[i] : upper(a[i]);
    char y = b_second ? b[i] : upper(b[i]);
    if (x != y) return false;
    a_second = !a_second && gbk_char_length(a, i) == 2;
    b_second = !b_second && gbk_char_length(b, i) == 2;
  }
  return true;
}

// One line: [begin, end) is its content, next the start of the following line.
// CR LF, LF and a lone CR all end a line.
struct LineSpan {
  std::size_t begin, end, next;
};

LineSpan line_at(std::string_view data, std::size_t p) {
  std::size_t end = p;
  while (end < data.size() && data[end] != '\r' && data[end] != '\n') ++end;
  std::size_t next = end;
  if (next < data.size()) next += data.compare(next, 2, kCrLf) == 0 ? 2 : 1;
  return {p, end, next};
}

enum class LineKind { other, section, key };

struct LineInfo {
  LineKind kind = LineKind::other;
  std::string_view name;
  std::size_t equals = 0;  // key lines: offset of the '=' in the content
};

LineInfo classify(std::string_view content) {
  std::string_view trimmed = trim_blanks(content);
  if (!trimmed.empty() && trimmed.front() == '[') {
    std::size_t close = trimmed.rfind(']');
    if (close != std::string_view::npos && close > 0)
      return {LineKind::section, trim_blanks(trimmed.substr(1, close - 1)), 0};
  }
  std::size_t eq = content.find('=');
  if (eq == std::string_view::npos) return {};
  return {LineKind::key, trim_blanks(content.substr(0, eq)), eq};
}

std::size_t skip_bom(std::string_view data) { return data.substr(0, kUtf8Bom.size()) == kUtf8Bom ? 3 : 0; }

struct SectionSpan {
  std::size_t header_end;  // end of the header line's content
  std::size_t body_begin, body_end;
};

// The first section of this name; its body runs to the next header.
std::optional<SectionSpan> find_section(std::string_view data, std::string_view section) {
  std::optional<SectionSpan> found;
  for (std::size_t p = skip_bom(data); p < data.size();) {
    LineSpan line = line_at(data, p);
    LineInfo info = classify(data.substr(line.begin, line.end - line.begin));
    if (info.kind == LineKind::section) {
      if (found) {
        found->body_end = line.begin;
        return found;
      }
      if (same_name(info.name, section)) found = SectionSpan{line.end, line.next, data.size()};
    }
    p = line.next;
  }
  return found;
}

struct KeySpan {
  std::size_t value_begin, value_end;  // the bytes after '=' up to the line end
};

std::optional<KeySpan> find_key(std::string_view data, std::size_t begin, std::size_t end,
                                std::string_view key) {
  for (std::size_t p = begin; p < end;) {
    LineSpan line = line_at(data, p);
    LineInfo info = classify(data.substr(line.begin, line.end - line.begin));
    if (info.kind == LineKind::key && same_name(info.name, key))
      return KeySpan{line.begin + info.equals + 1, line.end};
    p = line.next;
  }
  return std::nullopt;
}

Text unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return Text(value);
}

Text value_of(std::string_view data, const KeySpan& at) {
  return unquote(trim_blanks(data.substr(at.value_begin, at.value_end - at.value_begin)));
}

// Where a new key goes: after the section's last non-blank line, so blank lines
// before the next section stay where they are. A last line without its line
// end gets one first.
void append_key(Text& data, const SectionSpan& span, std::string_view line) {
  std::size_t at = span.body_begin, content_end = span.header_end;
  for (std::size_t p = span.body_begin; p < span.body_end;) {
    LineSpan l = line_at(data, p);
    if (!trim_blanks(std::string_view(data).substr(l.begin, l.end - l.begin)).empty()) {
      at = l.next;
      content_end = l.end;
    }
    p = l.next;
  }
  Text insert = at == content_end ? Text(kCrLf) : Text();
  insert.append(line).append(kCrLf);
  data.insert(at, insert);
}

void put_one(Text& data, const IniWrite& write) {
  const Text line = write.key + "=" + write.value;
  std::optional<SectionSpan> span = find_section(data, write.section);
  if (!span) {
    std::size_t body = skip_bom(data);
    if (data.size() > body && data.back() != '\n' && data.back() != '\r') data += kCrLf;
    data.append("[").append(write.section).append("]").append(kCrLf).append(line).append(kCrLf);
    return;
  }
  if (std::optional<KeySpan> at = find_key(data, span->body_begin, span->body_end, write.key)) {
    // The value is replaced in place; the name keeps its spelling and spacing.
    data.replace(at->value_begin, at->value_end - at->value_begin, write.value);
    return;
  }
  append_key(data, *span, line);
}

bool has_line_break(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Empty when the write can be kept by the one-line format, else why not.
std::string_view refusal(const IniWrite& write) {
  if (has_line_break(write.section) || has_line_break(write.key) || has_line_break(write.value))
    return kCannotKeepLineBreak;
  // A key with '=' would be read back cut; one starting with '[' may read as a header.
  if (write.section.empty() || write.key.empty() || write.key.find('=') != Text::npos ||
      write.key.front() == '[')
    return kBadName;
  return {};
}

void tell(Text* why, std::string_view reason) {
  if (why && why->empty()) *why = Text(reason);
}

}  // namespace

IniView::IniView(std::string_view file) {
  file = skip_control(file);
  named_ = !file.empty();
  if (!named_) return;
  file_read_or_missing(file, data_);
  std::string_view data = text();
  for (std::size_t p = skip_bom(data); p < data.size();) {
    LineSpan line = line_at(data, p);
    LineInfo info = classify(data.substr(line.begin, line.end - line.begin));
    if (info.kind == LineKind::section) {
      if (!sections_.empty()) sections_.back().body_end = line.begin;
      sections_.push_back({static_cast<std::size_t>(info.name.data() - data.data()), info.name.size(),
                           line.next, data.size()});
    }
    p = line.next;
  }
}

std::string_view IniView::text() const { return {reinterpret_cast<const char*>(data_.data()), data_.size()}; }

Text IniView::get(std::string_view section, std::string_view key, std::string_view fallback) const {
  section = clean_name(section);
  key = clean_name(key);
  if (!named_ || section.empty() || key.empty()) return {};
  std::string_view data = text();
  for (const Section& s : sections_) {
    if (!same_name(data.substr(s.name_at, s.name_size), section)) continue;
    std::optional<KeySpan> at = find_key(data, s.body_begin, s.body_end, key);
    return at ? value_of(data, *at) : Text(fallback);
  }
  return Text(fallback);
}

Text IniView::get_text(std::string_view key, std::string_view fallback) const {
  Text escaped_fallback = txt_replace(fallback, "\r\n", IniStore::kLineBreakEscape);
  Text value = get(section_, key, escaped_fallback);
  // Most values hold no marker; a large one is then not copied again.
  if (value.find(IniStore::kLineBreakEscape) == Text::npos) return value;
  return txt_replace(value, IniStore::kLineBreakEscape, "\r\n");
}

double IniView::get_number(std::string_view key, double fallback) const {
  return to_double(get(section_, key, to_text(fallback)));
}

Text ini_get(std::string_view file, std::string_view section, std::string_view key,
             std::string_view fallback) {
  if (skip_control(file).empty() || clean_name(section).empty() || clean_name(key).empty()) return {};
  return IniView(file).get(section, key, fallback);
}

bool ini_put_many(std::string_view file, const std::vector<IniWrite>& writes, Text* why) {
  if (why) why->clear();
  if (file.empty()) {
    tell(why, kNoFileName);
    return false;
  }
  std::vector<IniWrite> kept;
  kept.reserve(writes.size());
  bool all_kept = true;
  for (const IniWrite& write : writes) {
    IniWrite clean{Text(clean_name(write.section)), Text(clean_name(write.key)), write.value};
    if (std::string_view reason = refusal(clean); !reason.empty()) {
      tell(why, reason);
      all_kept = false;
      continue;
    }
    kept.push_back(std::move(clean));
  }
  if (kept.empty()) return all_kept;
  Bytes bytes;
  Text read_error;
  if (!file_read_or_missing(file, bytes, &read_error)) {
    tell(why, read_error);
    return false;
  }
  Text data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  bytes = Bytes();
  for (const IniWrite& write : kept) put_one(data, write);
  Text write_error;
  if (!file_write_private(file, text_to_bytes(data), &write_error)) {
    tell(why, write_error);
    return false;
  }
  return all_kept;
}

bool ini_put(std::string_view file, std::string_view section, std::string_view key, std::string_view value) {
  return ini_put_many(file, {{Text(section), Text(key), Text(value)}});
}

IniView IniStore::snapshot() const {
  IniView view(file_);
  view.set_section(section_);
  return view;
}

bool IniStore::put_text(std::string_view key, std::string_view value) {
  return put_raw(key, txt_replace(value, "\r\n", kLineBreakEscape));
}

Text IniStore::get_text(std::string_view key, std::string_view fallback) const {
  return snapshot().get_text(key, fallback);
}

bool IniStore::put_number(std::string_view key, double value) { return put_raw(key, to_text(value)); }

double IniStore::get_number(std::string_view key, double fallback) const {
  return snapshot().get_number(key, fallback);
}

void IniStore::begin_batch() {
  batching_ = true;
  pending_.clear();
}

bool IniStore::commit(Text* why) {
  batching_ = false;
  std::vector<IniWrite> writes = std::move(pending_);
  pending_.clear();
  if (why) why->clear();
  return writes.empty() || ini_put_many(file_, writes, why);
}

bool IniStore::put_raw(std::string_view key, Text value) {
  if (!batching_) return ini_put(file_, section_, key, value);
  pending_.push_back({section_, Text(key), std::move(value)});
  return true;
}

}  // namespace quill
