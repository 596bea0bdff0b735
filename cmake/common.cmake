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

# Debian's hardening (stack protector, _FORTIFY_SOURCE, format checks, full
# RELRO and immediate binding) in every Linux build, as dpkg-buildflags gives
# it, so the package and the tested build are the same code. The optimisation
# and debug levels stay the build type's; _FORTIFY_SOURCE needs optimisation,
# so a Debug build (the sanitizers') goes without it. The fuzz build is clang's
# own instrumented world and the Windows build mingw's.
if(NOT WIN32 AND NOT QUILL_FUZZ)
  find_program(QUILL_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  function(quill_debian_flags kind out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${QUILL_DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-O|^-g$|^-ffile-prefix-map=")
    set(${out} ${flags} PARENT_SCOPE)
  endfunction()
  quill_debian_flags(CPPFLAGS quill_cppflags)
  quill_debian_flags(CXXFLAGS quill_cxxflags)
  quill_debian_flags(LDFLAGS quill_ldflags)
  set(quill_fortify ${quill_cppflags})
  list(FILTER quill_fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
  list(FILTER quill_cppflags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
  target_compile_options(quill_options INTERFACE ${quill_cppflags} ${quill_cxxflags}
                                                 $<$<NOT:$<CONFIG:Debug>>:${quill_fortify}>)
  target_link_options(quill_options INTERFACE ${quill_ldflags})
endif()
