#include "base/fatal.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "base/codepage.h"
#include "base/convert.h"

namespace quill {
namespace {

constexpr std::string_view kRuntimeError = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!";  // 运行时出错!
constexpr std::string_view kErrorCode = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";      // 错误代码：
constexpr std::string_view kErrorMessage = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";   // 错误信息：
constexpr std::string_view kErrorCaption = "\xB4\xED\xCE\xF3";                           // 错误

// 分配 %d 字节内存失败!
constexpr std::string_view kAllocPrefix = "\xB7\xD6\xC5\xE4 ";
constexpr std::string_view kAllocSuffix = " \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";

FatalBox fatal_box = nullptr;

void print_to_stderr(const Text& message, const Text& caption) {
  const std::string line = gbk_to_utf8(caption) + " " + gbk_to_utf8(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// Kept back so that the box can still be built and shown once memory runs out.
void* reserve = nullptr;

// A new handler is not told the size; the replaced operator new below notes it
// here before it calls the handler.
thread_local std::size_t bytes_asked = 0;

void out_of_memory_handler() { fatal_out_of_memory(bytes_asked); }

// Over-aligned blocks: the Windows C runtime keeps them apart from malloc's and
// frees them with its own function.
void* allocate_aligned(std::size_t size, std::size_t alignment) {
#ifdef _WIN32
  return ::_aligned_malloc(size, alignment);
#else
  void* p = nullptr;
  return ::posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
#endif
}

void free_aligned(void* p) noexcept {
#ifdef _WIN32
  ::_aligned_free(p);
#else
  std::free(p);
#endif
}

void* allocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  for (;;) {
    void* p = alignment <= alignof(std::max_align_t) ? std::malloc(size) : allocate_aligned(size, alignment);
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
  (fatal_box ? fatal_box : print_to_stderr)(fatal_error_text(number, message), Text(kErrorCaption));
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

void set_fatal_box(FatalBox box) { fatal_box = box; }

void install_out_of_memory_handler() {
  if (!reserve) reserve = std::malloc(256 * 1024);
  std::set_new_handler(out_of_memory_handler);
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
void operator delete(void* p, std::align_val_t) noexcept { quill::free_aligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { quill::free_aligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { quill::free_aligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { quill::free_aligned(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { quill::free_aligned(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { quill::free_aligned(p); }

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
