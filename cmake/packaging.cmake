# The desktop entry and icon of the system layout, and the Debian package
# (`cpack -G DEB`, or `./quill package`): the program folder in
# /usr/lib/quillmoor, launchers in /usr/bin, dependencies found by dpkg-shlibdeps.
if(QUILL_INSTALL_LAYOUT STREQUAL "system")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillmoor.desktop DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillmoor.svg DESTINATION share/icons/hicolor/scalable/apps)
  if(NOT CMAKE_CROSSCOMPILING)  # the pages come from running the commands
    include(cmake/manual_pages.cmake)
  endif()
endif()

# The package's own documents: who may do what with it, and its history (a
# native package's changelog.gz, whose first entry must be this version).
set(QUILL_MAINTAINER "Seed dbc31ad4 maintainers <maintainers@users.noreply.c-seed-dbc31ad4.example>")
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog quill_changelog_head LIMIT_COUNT 1)
if(NOT quill_changelog_head MATCHES "^quillmoor \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with '${quill_changelog_head}', not version ${PROJECT_VERSION}")
endif()
set(quill_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${quill_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${quill_changelog_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(quill_changelog ALL DEPENDS ${quill_changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${quill_changelog_gz} DESTINATION share/doc/quillmoor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmoor)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "${QUILL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "template-based affiliate page generator for Taobao items")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Quillmoor asks the Taobao open platform for items per keyword and writes one\n"
       "static GBK page per keyword group from a template. It brings the window, the\n"
       "batch tool quillmoor-batch and the local test gateway quillmoor-sandbox.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: the window needs a face with Chinese glyphs.
if(QUILL_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-zenhei | fonts-noto-cjk | fonts-arphic-uming")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, ca-certificates")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
endif()
include(CPack)
