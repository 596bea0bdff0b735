# A manual page per command, made by help2man from its --help when it is built,
# installed gzipped into share/man/man1. The help holds Chinese: help2man and
# the command run in a UTF-8 locale, or it turns into question marks. Without
# help2man there are none (the package's check fails then; `./quill package`
# installs it).
find_program(QUILL_HELP2MAN help2man)
if(NOT QUILL_HELP2MAN)
  message(STATUS "No help2man: no manual pages")
  return()
endif()
set(quill_man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${quill_man_dir})
set(quill_man_pages)
function(quill_manual_page command name)
  if(NOT TARGET ${command})
    return()
  endif()
  set(page ${quill_man_dir}/${command}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
            ${QUILL_HELP2MAN} --locale=C.UTF-8 --no-info --section=1 --version-string=${PROJECT_VERSION} "--name=${name}"
            --output=${page} $<TARGET_FILE:${command}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${command}
    COMMENT "Writing the manual page of ${command}")
  set(quill_man_pages ${quill_man_pages} ${page}.gz PARENT_SCOPE)
endfunction()
quill_manual_page(quillmoor "template-based affiliate page generator for Taobao items")
quill_manual_page(quillmoor-batch "one generation run of Quillmoor from the command line")
quill_manual_page(quillmoor-sandbox "local stand-in for the Taobao gateway and the link services")
add_custom_target(quill_manual_pages ALL DEPENDS ${quill_man_pages})
install(FILES ${quill_man_pages} DESTINATION share/man/man1)
