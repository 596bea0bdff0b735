#include "base/fatal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "base/codepage.h"
#include "base/ui_hooks.h"

namespace quill {
namespace {

// The headless box goes to standard error in UTF-8: caption, a space, the text.
std::string box(const char* utf8_text) { return std::string("错误 ") + utf8_text + "\n"; }

TEST(FatalErrorText, LayoutWithAndWithoutParts) {
  EXPECT_EQ(gbk_to_utf8(fatal_error_text(4, gbk("消息"))),
            "运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：消息\r\n");
  EXPECT_EQ(gbk_to_utf8(fatal_error_text(std::nullopt, gbk("消息"))),
            "运行时出错!\r\n\r\n错误信息：消息\r\n");
  EXPECT_EQ(gbk_to_utf8(fatal_error_text(9, "")), "运行时出错!\r\n\r\n错误代码：9\r\n\r\n");
}

TEST(FatalErrorDeathTest, ListIndexBelowOne) {
  TextList list{"a"};
  EXPECT_EXIT(list_item(list, 0), ::testing::ExitedWithCode(255),
              ::testing::Eq(
                  box("运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n")));
}

TEST(FatalErrorDeathTest, ListIndexBeyondEnd) {
  TextList list{"a"};
  EXPECT_EQ(list_item(list, 1), "a");
  EXPECT_EXIT(
      list_item(list, 2), ::testing::ExitedWithCode(255),
      ::testing::Eq(box("运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n")));
}

TEST(FatalErrorDeathTest, SelectorOutOfRange) {
  EXPECT_EQ(choose(1, {"a", "b"}), "b");
  const char* expected =
      "运行时出错!"
      "\r\n\r\n错误代码：9\r\n\r\n错误信息：“多项选择”命令的索引值参数小于零或超出了所提供参数表范围\r\n";
  EXPECT_EXIT(choose(2, {"a", "b"}), ::testing::ExitedWithCode(255), ::testing::Eq(box(expected)));
  EXPECT_EXIT(choose(-1, {"a"}), ::testing::ExitedWithCode(255), ::testing::Eq(box(expected)));
}

TEST(FatalErrorDeathTest, OutOfMemoryNamesTheBytes) {
  EXPECT_EXIT(fatal_out_of_memory(1024), ::testing::ExitedWithCode(255),
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
      ::testing::ExitedWithCode(255), ::testing::HasSubstr(message(huge)));
  EXPECT_EXIT(
      {
        install_out_of_memory_handler();
        volatile Wide* p = new Wide[huge / 64];
        p[0].bytes[0] = 1;
      },
      ::testing::ExitedWithCode(255), ::testing::HasSubstr(message(huge / 64 * 64)));
  std::string text(1000, 'x');  // ordinary allocations are untouched
  EXPECT_EQ(text.size(), 1000u);
}

class RecordingHooks final : public UiHooks {
 public:
  int show_message(const Text& message, unsigned flags, const Text& caption) override {
    last_message = message;
    last_flags = flags;
    last_caption = caption;
    return answer;
  }
  bool pump_events() override { return ++pumps > 0; }
  Text last_message, last_caption;
  unsigned last_flags = 0;
  int answer = kResultOk;
  int pumps = 0;
};

TEST(ShowMessage, DefaultsToTaskModalInfoCaption) {
  RecordingHooks hooks;
  set_ui_hooks(&hooks);
  EXPECT_EQ(show_message(gbk("保存OK！")), kResultOk);
  EXPECT_EQ(hooks.last_caption, gbk("信息："));
  EXPECT_EQ(hooks.last_flags, kMbTaskModal);
  show_message("x", kMbSystemModal | kMbIconError, "c");
  EXPECT_EQ(hooks.last_flags, kMbSystemModal | kMbIconError);
  EXPECT_EQ(hooks.last_caption, "c");
  hooks.answer = kResultNo;
  EXPECT_EQ(show_message("x"), kResultNo);
  EXPECT_TRUE(pump_events());
  set_ui_hooks(nullptr);
}

TEST(ShowMessage, HeadlessWritesUtf8ToStderrAndReturnsOk) {
  ::testing::internal::CaptureStderr();
  int result = show_message(gbk("你好"));
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, kResultOk);
  EXPECT_EQ(err, "信息： 你好\n");
  EXPECT_FALSE(pump_events());
  EXPECT_FALSE(quit_requested());
}

}  // namespace
}  // namespace quill
