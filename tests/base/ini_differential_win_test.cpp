// Our INI layer against the system's profile functions, on random writes: each
// side reads what the other wrote, key for key, and both write the same bytes.
// Only meaningful where the code page for non-Unicode programs is 936, as on
// the machines the settings file comes from (CTest runs Wine so).
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <random>
#include <utility>

#include "base/codepage.h"
#include "base/fs.h"
#include "base/ini.h"
#include "support/scratch_folder.h"

namespace quill {
namespace {

std::wstring wide(const Text& gbk_text) {
  const std::u16string units = gbk_to_utf16(gbk_text);
  return std::wstring(units.begin(), units.end());
}

// Names and values inside what both sides define alike: no padding, quotes,
// "=", ";" or "[", no empty names, short lines.
class Words {
 public:
  explicit Words(unsigned seed) : random_(seed) {}
  Text name() { return word(1, 6); }
  Text value() { return random_() % 8 == 0 ? Text() : word(1, 20); }

 private:
  Text word(int shortest, int longest) {
    static const Text pieces[] = {"a",       "b",       "k",       "x",       "1",       "9",
                                  "_",       "-",       ".",       ",",       gbk("女"), gbk("装"),
                                  gbk("鞋"), gbk("网"), gbk("络"), gbk("值"), gbk("€"),  gbk("配")};
    std::uniform_int_distribution<int> length(shortest, longest), piece(0, std::size(pieces) - 1);
    Text out;
    const int n = length(random_);
    for (int i = 0; i < n; ++i) {
      if (i > 0 && random_() % 6 == 0) out += ' ';  // inner spaces only
      out += pieces[piece(random_)];
    }
    return out;
  }
  std::mt19937 random_;
};

using Key = std::pair<Text, Text>;  // section, key

TEST(IniAgainstTheSystem, EachReadsTheOthersWritesAndBothWriteTheSameBytes) {
  if (::GetACP() != 936) GTEST_SKIP() << "code page " << ::GetACP() << ", not 936";
  testing::ScratchFolder folder;
  int same_bytes = 0;
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    Words words(static_cast<unsigned>(round));
    const Text ours = folder.gbk_path("ours" + std::to_string(round) + ".ini");
    const Text theirs = folder.gbk_path("theirs" + std::to_string(round) + ".ini");
    std::vector<Text> sections = {words.name(), words.name()},
                      keys = {words.name(), words.name(), words.name()};
    std::map<Key, Text> expected;
    for (int write = 0; write < 12; ++write) {
      const Text& section = sections[write % 2];
      const Text& key = keys[(write * 7 + round) % 3];
      const Text value = words.value();
      ASSERT_TRUE(ini_put(ours, section, key, value));
      ASSERT_TRUE(::WritePrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(value).c_str(),
                                               wide(theirs).c_str()));
      expected[{txt_upper(section), txt_upper(key)}] = value;
    }
    for (const auto& [name, value] : expected) {
      wchar_t read[256] = {};
      ::GetPrivateProfileStringW(wide(name.first).c_str(), wide(name.second).c_str(), L"?", read, 256,
                                 wide(ours).c_str());
      EXPECT_EQ(utf16_to_gbk(reinterpret_cast<const char16_t*>(read)), value) << "round " << round;
      EXPECT_EQ(ini_get(theirs, name.first, name.second, "?"), value) << "round " << round;
    }
    same_bytes += file_read_all(ours) == file_read_all(theirs);
  }
  std::printf("files byte-identical in %d of %d rounds\n", same_bytes, kRounds);
  EXPECT_EQ(same_bytes, kRounds);
}

}  // namespace
}  // namespace quill
