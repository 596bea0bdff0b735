# The program runs from its own folder: executables, the templates folder and the
# template tutorial side by side. The build tree lays that folder out in
# ${QUILL_PROGRAM_DIR}; `cmake --install` installs the same layout.
set(QUILL_PROGRAM_DIR ${CMAKE_BINARY_DIR}/program)
file(MAKE_DIRECTORY ${QUILL_PROGRAM_DIR})

function(quill_program_executable target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUILL_PROGRAM_DIR})
  install(TARGETS ${target} RUNTIME DESTINATION .)
endfunction()
