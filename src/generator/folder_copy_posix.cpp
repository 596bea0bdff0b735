#include "generator/folder_copy_posix.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/codepage.h"

namespace quill::generator::copy_detail {

Text real_path(std::string_view path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(gbk_to_utf8(path).c_str(), nullptr),
                                                       &std::free);
  return resolved ? Text(resolved.get()) : Text();
}

std::optional<Bytes> read_file(std::string_view path) {
  std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(gbk_to_utf8(path).c_str(), "rb"),
                                                     &std::fclose);
  if (!file) return std::nullopt;
  Bytes data;
  unsigned char buffer[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    data.insert(data.end(), buffer, buffer + got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) return std::nullopt;
  return data;
}

bool is_folder(std::string_view path) {
  struct stat info {};
  return stat(gbk_to_utf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace quill::generator::copy_detail
