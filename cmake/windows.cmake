# What the Windows build needs besides the toolchain file: no Qt and no
# benchmarks, Boost.Regex's, CLI11's and nlohmann-json's headers, and
# GoogleTest built from Debian's sources by the cross compiler.
if(QUILL_BUILD_GUI OR QUILL_BUILD_BENCH OR QUILL_FUZZ OR QUILL_SANITIZE)
  message(FATAL_ERROR "The Windows build takes -DQUILL_BUILD_GUI=OFF -DQUILL_BUILD_BENCH=OFF, without fuzzing or sanitizers")
endif()
# _POSIX_THREAD_SAFE_FUNCTIONS: mingw's localtime_r and gmtime_r.
# GCC 12 warns falsely about std::string concatenation at -O2 (its bug 105329).
target_compile_options(quill_options INTERFACE -Wno-restrict)
target_compile_definitions(quill_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                                                   _POSIX_THREAD_SAFE_FUNCTIONS)

# A header-only library from Debian's /usr/include, seen by the cross compiler
# through a folder holding only its own headers, so that no other header of
# the Linux system is ever seen (the toolchain file looks only under the mingw
# root, so the folder is named here).
function(quill_linux_headers target header folder package)
  find_path(QUILL_${folder}_INCLUDE ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT QUILL_${folder}_INCLUDE)
    message(FATAL_ERROR "No ${header}: apt-get install ${package}")
  endif()
  set(headers ${CMAKE_BINARY_DIR}/${folder}-headers)
  file(MAKE_DIRECTORY ${headers})
  file(CREATE_LINK ${QUILL_${folder}_INCLUDE}/${folder} ${headers}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${target} SYSTEM INTERFACE ${headers})
endfunction()

quill_linux_headers(quill_boost_regex boost/regex.hpp boost libboost-regex1.81-dev)
target_compile_definitions(quill_boost_regex INTERFACE BOOST_REGEX_STANDALONE)
quill_linux_headers(CLI11::CLI11 CLI/CLI.hpp CLI libcli11-dev)
quill_linux_headers(quill_json nlohmann/json.hpp nlohmann nlohmann-json3-dev)

if(QUILL_BUILD_TESTS)
  set(QUILL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
  if(NOT EXISTS ${QUILL_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${QUILL_GOOGLETEST_SOURCE}: apt-get install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  # Its own CMake files name the targets GTest::gtest_main and GTest::gmock.
  add_subdirectory(${QUILL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
