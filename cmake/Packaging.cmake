# What `cmake --install` puts in place and the Debian package that CPack makes of it (scripts/package):
# the program, its menu entry (which also takes morvane: links), its icon in the hicolor theme at
# every usual size, its AppStream metadata, its manual page, and the copyright and changelog every
# Debian package carries; and the modules the program loads when it first needs them, in the
# package's private library folder, where platform/LoadableModule finds them from the program's place.
include(GNUInstallDirs)

get_property(modules GLOBAL PROPERTY MORVANE_MODULES)
install(TARGETS ${modules} LIBRARY DESTINATION ${MORVANE_MODULE_INSTALL_DIR})

set(MORVANE_PACKAGE_FILES ${PROJECT_SOURCE_DIR}/resources/package)
set(MORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)

install(FILES ${MORVANE_PACKAGE_FILES}/morvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MORVANE_PACKAGE_FILES}/org.morvane.morvane.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${MORVANE_PACKAGE_FILES}/morvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The bitmap sizes are drawn from the scalable icon when the tree is built.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_outputs)
foreach(size IN LISTS MORVANE_ICON_SIZES)
  set(icon ${PROJECT_BINARY_DIR}/icons/${size}x${size}/morvane.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${icon} ${MORVANE_PACKAGE_FILES}/morvane.svg
    DEPENDS ${MORVANE_PACKAGE_FILES}/morvane.svg
    VERBATIM)
  list(APPEND icon_outputs ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian keeps a native package's changelog compressed, without a time stamp in the gzip header.
set(changelog ${PROJECT_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/package
  COMMAND gzip -9 --no-name --stdout ${MORVANE_PACKAGE_FILES}/changelog > ${changelog}
  DEPENDS ${MORVANE_PACKAGE_FILES}/changelog)
set(manual ${PROJECT_BINARY_DIR}/package/morvane.1.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/package
  COMMAND gzip -9 --no-name --stdout ${MORVANE_PACKAGE_FILES}/morvane.1 > ${manual}
  DEPENDS ${MORVANE_PACKAGE_FILES}/morvane.1)
add_custom_target(morvane_package_files ALL DEPENDS ${icon_outputs} ${changelog} ${manual})
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${MORVANE_PACKAGE_FILES}/copyright ${changelog}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "contextual links between the things you work with")
set(CPACK_PACKAGE_DESCRIPTION "Morvane keeps a local library of links to files, folders, web pages, mail
messages, notes, calendar events and contacts, with tags and relations. It
sits in the tray, shows when the item in front of you has saved links, and
opens a quick panel from a global shortcut to save, search, relate and open
them. The library can be drawn as a graph, synced through a folder and
exported to JSON backups.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Morvane developers <developers@morvane.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: from the shared libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Capture reads other applications over the accessibility bus and the desktop's calendar and
# contacts stores; titles in Chinese, Japanese and Korean need a font that has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core, evolution-data-server, fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/package)
include(CPack)
