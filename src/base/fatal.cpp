#include "base/fatal.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "base/convert.h"
#include "base/ui_hooks.h"

namespace quill {
namespace {

constexpr std::string_view kRuntimeError = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!";  // 运行时出错!
constexpr std::string_view kErrorCode = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";      // 错误代码：
constexpr std::string_view kErrorMessage = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";   // 错误信息：
constexpr std::string_view kErrorCaption = "\xB4\xED\xCE\xF3";                           // 错误

// 数组成员引用下标必须大于等于1
constexpr std::string_view kIndexBelowOne =
    "\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB1\xD8\xD0\xEB\xB4\xF3\xD3\xDA"
    "\xB5\xC8\xD3\xDA"
    "1";
// 数组成员引用下标超出定义范围
constexpr std::string_view kIndexBeyondEnd =
    "\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB3\xAC\xB3\xF6\xB6\xA8\xD2\xE5"
    "\xB7\xB6\xCE\xA7";
// “多项选择”命令的索引值参数小于零或超出了所提供参数表范围
constexpr std::string_view kSelectorOutOfRange =
    "\xA1\xB0\xB6\xE0\xCF\xEE\xD1\xA1\xD4\xF1\xA1\xB1\xC3\xFC\xC1\xEE\xB5\xC4\xCB\xF7\xD2\xFD\xD6\xB5"
    "\xB2\xCE\xCA\xFD\xD0\xA1\xD3\xDA\xC1\xE3\xBB\xF2\xB3\xAC\xB3\xF6\xC1\xCB\xCB\xF9\xCC\xE1\xB9\xA9"
    "\xB2\xCE\xCA\xFD\xB1\xED\xB7\xB6\xCE\xA7";
// 分配 %d 字节内存失败!
constexpr std::string_view kAllocPrefix = "\xB7\xD6\xC5\xE4 ";
constexpr std::string_view kAllocSuffix = " \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";

// Kept back so that the box can still be built and shown once memory runs out.
void* reserve = nullptr;

// A new handler is not told the size; the replaced operator new below notes it
// here before it calls the handler.
thread_local std::size_t bytes_asked = 0;

void out_of_memory_handler() { fatal_out_of_memory(bytes_asked); }

void* allocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  for (;;) {
    void* p = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
      p = std::malloc(size);
    } else if (::posix_memalign(&p, alignment, size) != 0) {
      p = nullptr;
    }
    if (p) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    bytes_asked = size;
    handler();
  }
}

void* allocate_or_null(std::size_t size, std::size_t alignment) noexcept {
  try {
    return allocate(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

Text fatal_error_text(std::optional<int> number, std::string_view message) {
  Text text = txt_join(kRuntimeError, "\r\n\r\n");
  if (number) text += txt_join(kErrorCode, to_text(*number), "\r\n\r\n");
  if (!message.empty()) text += txt_join(kErrorMessage, message, "\r\n");
  return text;
}

void fatal_error(std::optional<int> number, std::string_view message) {
  show_message(fatal_error_text(number, message), kMbIconError, Text(kErrorCaption));
  std::fflush(nullptr);
  std::_Exit(-1);
}

void fatal_out_of_memory(std::size_t bytes) {
  // Release the reserve first so that the box itself can still be shown.
  std::set_new_handler(nullptr);
  std::free(reserve);
  reserve = nullptr;
  Text number = std::to_string(bytes);
  fatal_error(std::nullopt, txt_join(kAllocPrefix, number, kAllocSuffix));
}

void install_out_of_memory_handler() {
  if (!reserve) reserve = std::malloc(256 * 1024);
  std::set_new_handler(out_of_memory_handler);
}

const Text& list_item(const TextList& list, int index) {
  if (index < 1) fatal_error(4, kIndexBelowOne);
  if (static_cast<std::size_t>(index) > list.size()) fatal_error(1, kIndexBeyondEnd);
  return list[static_cast<std::size_t>(index) - 1];
}

std::string_view choose(int index, std::initializer_list<std::string_view> choices) {
  if (index < 0 || static_cast<std::size_t>(index) >= choices.size()) fatal_error(9, kSelectorOutOfRange);
  return choices.begin()[index];
}

}  // namespace quill

// The global allocation functions, replaced so that the out-of-memory box can
// name the size that was asked for. Everything else is as the standard says.
void* operator new(std::size_t size) { return quill::allocate(size, 0); }
void* operator new[](std::size_t size) { return quill::allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t al) {
  return quill::allocate(size, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t size, std::align_val_t al) {
  return quill::allocate(size, static_cast<std::size_t>(al));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return quill::allocate_or_null(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return quill::allocate_or_null(size, 0);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return quill::allocate_or_null(size, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return quill::allocate_or_null(size, static_cast<std::size_t>(al));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

// Under AddressSanitizer a failed malloc would end the process with the
// sanitizer's report; let it return null so that the box above is shown.
#if defined(__SANITIZE_ADDRESS__)
#define QUILL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_ASAN 1
#endif
#endif
#ifdef QUILL_ASAN
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif
