# The core builds without Qt: no file outside the window's folder may include a
# Qt header.
file(GLOB_RECURSE core_files
  ${ROOT}/src/base/* ${ROOT}/src/generator/* ${ROOT}/src/openapi/* ${ROOT}/src/shortlink/*
  ${ROOT}/src/shell/*.h ${ROOT}/src/shell/*.cpp ${ROOT}/app/batch*)
list(FILTER core_files EXCLUDE REGEX "/src/shell/gui/")
set(offenders "")
foreach(f IN LISTS core_files)
  file(STRINGS ${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*<Q")
  if(hits)
    list(APPEND offenders ${f})
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Qt headers in the core: ${offenders}")
endif()
