// The settings file: after a put, the key reads back as written (as the format
// reads any value: blanks trimmed, one pair of quotes removed) and every other
// key reads as before; a refused put leaves the file as it was.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/fs.h"
#include "base/ini.h"

namespace {

void agree(bool same) {
  if (!same) std::abort();
}

std::string folder() {
  static const std::string path = [] {
    std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    base /= "quill-ini-fuzz-" + std::to_string(::getpid());
    std::filesystem::create_directories(base);
    static const std::filesystem::path made = base;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return base.string();
  }();
  return path;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A name as lookups compare it.
std::string name_key(std::string_view name) {
  while (!name.empty() && static_cast<unsigned char>(name.front()) <= 0x20) name.remove_prefix(1);
  return quill::txt_upper(trim_blanks(name));
}

std::string as_read(std::string_view value) {
  value = trim_blanks(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quill;
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(12);
  const std::string key = in.ConsumeRandomLengthString(12);
  const std::string value = in.ConsumeRandomLengthString(24);
  std::vector<std::pair<std::string, std::string>> others;
  for (int i = 0; i < 3; ++i)
    others.emplace_back(in.ConsumeRandomLengthString(8), in.ConsumeRandomLengthString(8));
  const std::string file = in.ConsumeRemainingBytesAsString();

  const std::string path = folder() + "/a.ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
  const std::string missing = "\x01missing";
  std::vector<Text> before;
  for (const auto& [s, k] : others) before.push_back(ini_get(path, s, k, missing));

  const bool written = ini_put(path, section, key, value);
  if (!written) {
    Bytes now = file_read_all(path);
    agree(std::string(now.begin(), now.end()) == file);
  } else {
    agree(ini_get(path, section, key, missing) == as_read(value));
  }
  for (std::size_t i = 0; i < others.size(); ++i) {
    const auto& [s, k] = others[i];
    bool same_key = name_key(s) == name_key(section) && name_key(k) == name_key(key);
    if (!(written && same_key)) agree(ini_get(path, s, k, missing) == before[i]);
  }
  return 0;
}
