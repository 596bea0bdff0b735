# The program runs from its own folder: executables, the templates folder and the
# template tutorial side by side. The build tree lays that folder out in
# ${QUILL_PROGRAM_DIR}; `cmake --install` installs the same folder:
#   system    (default) PREFIX/lib/quillmoor, with launchers in PREFIX/bin, a
#             desktop entry and an icon; the user's files go to his XDG folders
#   portable  the folder is PREFIX itself, for a copy the user owns and writes
set(QUILL_PROGRAM_DIR ${CMAKE_BINARY_DIR}/program)
file(MAKE_DIRECTORY ${QUILL_PROGRAM_DIR})

set(QUILL_INSTALL_LAYOUT system CACHE STRING "Install layout: system or portable")
set_property(CACHE QUILL_INSTALL_LAYOUT PROPERTY STRINGS system portable)
if(QUILL_INSTALL_LAYOUT STREQUAL "system")
  set(QUILL_INSTALL_PROGRAM_DIR lib/quillmoor)
elseif(QUILL_INSTALL_LAYOUT STREQUAL "portable")
  set(QUILL_INSTALL_PROGRAM_DIR .)
else()
  message(FATAL_ERROR "QUILL_INSTALL_LAYOUT must be system or portable, not '${QUILL_INSTALL_LAYOUT}'")
endif()

# An executable of the program folder; installed with a launcher in bin/ for
# the system layout (a relative link: the program finds its folder through
# /proc/self/exe, which names the real file).
function(quill_program_executable target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUILL_PROGRAM_DIR})
  install(TARGETS ${target} RUNTIME DESTINATION ${QUILL_INSTALL_PROGRAM_DIR})
  if(QUILL_INSTALL_LAYOUT STREQUAL "system")
    set(link ${CMAKE_BINARY_DIR}/launchers/${target})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launchers)
    file(CREATE_LINK ../${QUILL_INSTALL_PROGRAM_DIR}/${target} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION bin)
  endif()
endfunction()
