# The desktop entry and icon of the system layout, and the Debian package
# (`cpack -G DEB`, or `./quill package`): the program folder in
# /usr/lib/quillmoor, launchers in /usr/bin, dependencies found by dpkg-shlibdeps.
if(QUILL_INSTALL_LAYOUT STREQUAL "system")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillmoor.desktop DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillmoor.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmoor)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "Quillmoor developers <quillmoor@localhost>")
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
