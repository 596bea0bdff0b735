# One interface target carries the language level and warnings for every target.
add_library(quill_options INTERFACE)
target_compile_features(quill_options INTERFACE cxx_std_20)
target_compile_options(quill_options INTERFACE -Wall -Wextra)
if(QUILL_SANITIZE)
  target_compile_options(quill_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quill_options INTERFACE -fsanitize=address,undefined)
endif()
# Fuzzing (clang only): the whole code base instrumented for libFuzzer, with
# AddressSanitizer and UBSan; the fuzz targets link libFuzzer's main.
if(QUILL_FUZZ)
  target_compile_options(quill_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quill_options INTERFACE -fsanitize=address,undefined)
endif()
set(CMAKE_CXX_EXTENSIONS OFF)
