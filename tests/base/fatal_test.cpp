#include "base/fatal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "base/codepage.h"

namespace quill {
namespace {

// The headless box goes to standard error in UTF-8: caption, a space, the text.
std::string box(const char* utf8_text) { return std::string("错误 ") + utf8_text + "\n"; }

// exit(-1) as the parent sees it.
#ifdef _WIN32
constexpr int kFatalExitStatus = -1;
#else
constexpr int kFatalExitStatus = 255;
#endif

TEST(FatalErrorText, LayoutWithAndWithoutParts) {
  EXPECT_EQ(gbk_to_utf8(fatal_error_text(4, gbk("消息"))),
            "运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：消息\r\n");
  EXPECT_EQ(gbk_to_utf8(fatal_error_text(std::nullopt, gbk("消息"))),
            "运行时出错!\r\n\r\n错误信息：消息\r\n");
  EXPECT_EQ(gbk_to_utf8(fatal_error_text(9, "")), "运行时出错!\r\n\r\n错误代码：9\r\n\r\n");
}

TEST(FatalErrorDeathTest, OutOfMemoryNamesTheBytes) {
  EXPECT_EXIT(fatal_out_of_memory(1024), ::testing::ExitedWithCode(kFatalExitStatus),
              ::testing::Eq(box("运行时出错!\r\n\r\n错误信息：分配 1024 字节内存失败!\r\n")));
}

// The box names the size of the allocation that failed, for plain, array and
// over-aligned allocations alike.
TEST(FatalErrorDeathTest, ExhaustedMemoryNamesTheSizeAskedFor) {
  // More than any machine has; operator new gives up through the handler.
  constexpr std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
  auto message = [](std::size_t bytes) {
    return "错误信息：分配 " + std::to_string(bytes) + " 字节内存失败!";
  };
  struct alignas(64) Wide {
    char bytes[64];
  };
  EXPECT_EXIT(
      {
        install_out_of_memory_handler();
        volatile char* p = new char[huge];
        p[0] = 1;
      },
      ::testing::ExitedWithCode(kFatalExitStatus), ::testing::HasSubstr(message(huge)));
  EXPECT_EXIT(
      {
        install_out_of_memory_handler();
        volatile Wide* p = new Wide[huge / 64];
        p[0].bytes[0] = 1;
      },
      ::testing::ExitedWithCode(kFatalExitStatus), ::testing::HasSubstr(message(huge / 64 * 64)));
  std::string text(1000, 'x');  // ordinary allocations are untouched
  EXPECT_EQ(text.size(), 1000u);
}

void record_box(const Text& message, const Text& caption) {
  std::string line = gbk_to_utf8(caption) + "|" + gbk_to_utf8(message);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

TEST(FatalErrorDeathTest, InstalledBoxShowsTheError) {
  EXPECT_EXIT(
      {
        set_fatal_box(record_box);
        fatal_error(9, "x");
      },
      ::testing::ExitedWithCode(kFatalExitStatus),
      ::testing::Eq("错误|运行时出错!\r\n\r\n错误代码：9\r\n\r\n错误信息：x\r\n"));
}

}  // namespace
}  // namespace quill
