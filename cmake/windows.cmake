# What the Windows build needs besides the toolchain file: no Qt and no
# benchmarks, Boost.Regex's and nlohmann-json's headers, and GoogleTest built from Debian's sources
# by the cross compiler.
if(QUILL_BUILD_GUI OR QUILL_BUILD_BENCH OR QUILL_FUZZ OR QUILL_SANITIZE)
  message(FATAL_ERROR "The Windows build takes -DQUILL_BUILD_GUI=OFF -DQUILL_BUILD_BENCH=OFF, without fuzzing or sanitizers")
endif()
# _POSIX_THREAD_SAFE_FUNCTIONS: mingw's localtime_r and gmtime_r.
# GCC 12 warns falsely about std::string concatenation at -O2 (its bug 105329).
target_compile_options(quill_options INTERFACE -Wno-restrict)
target_compile_definitions(quill_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                                                   _POSIX_THREAD_SAFE_FUNCTIONS)

# Boost.Regex header-only, from Debian's headers: a folder holding only boost/,
# so that no other header of the Linux system is ever seen by the cross compiler.
find_path(QUILL_BOOST_INCLUDE boost/regex.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUILL_BOOST_INCLUDE)
  message(FATAL_ERROR "No Boost.Regex headers: apt-get install libboost-regex1.81-dev")
endif()
set(QUILL_BOOST_HEADERS ${CMAKE_BINARY_DIR}/boost-headers)
file(MAKE_DIRECTORY ${QUILL_BOOST_HEADERS})
file(CREATE_LINK ${QUILL_BOOST_INCLUDE}/boost ${QUILL_BOOST_HEADERS}/boost SYMBOLIC)
add_library(quill_boost_regex INTERFACE)
target_include_directories(quill_boost_regex SYSTEM INTERFACE ${QUILL_BOOST_HEADERS})
target_compile_definitions(quill_boost_regex INTERFACE BOOST_REGEX_STANDALONE)

# nlohmann-json, header-only, the same way: a folder holding only nlohmann/.
find_path(QUILL_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUILL_JSON_INCLUDE)
  message(FATAL_ERROR "No nlohmann-json headers: apt-get install nlohmann-json3-dev")
endif()
set(QUILL_JSON_HEADERS ${CMAKE_BINARY_DIR}/json-headers)
file(MAKE_DIRECTORY ${QUILL_JSON_HEADERS})
file(CREATE_LINK ${QUILL_JSON_INCLUDE}/nlohmann ${QUILL_JSON_HEADERS}/nlohmann SYMBOLIC)
add_library(quill_json INTERFACE)
target_include_directories(quill_json SYSTEM INTERFACE ${QUILL_JSON_HEADERS})

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
