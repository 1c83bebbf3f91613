# Installation and the Debian package (cmake --install, ./krova package).
#
#   bin/                      krova-utility, krova-utility-demo, krova-cli
#   share/applications/       a desktop entry for the program and the demo
#   share/icons/hicolor/      the application icon (SVG and PNG sizes)
#   share/metainfo/           AppStream metainfo for software centres
#   share/man/man1/           manual pages
#   share/krova-utility/relay the support relay, its router and web server examples
#   share/krova-utility/systemd a service for logging without a screen
#   share/doc/krova-utility/  README, the example files, copyright, changelog
#   lib/udev/rules.d/         the udev rule that gives the user at the seat
#                             the regulator (prefix /usr only, see below)
include(GNUInstallDirs)

set(KROVA_PACKAGE_NAME krova-utility)
set(KROVA_APP_ID example.krova.Utility)
set(KROVA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KROVA_PACKAGE_NAME})
set(KROVA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# Installed folders get the usual modes whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS krova-utility krova-utility-demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The command-line tool goes in too when the build has it; checked at the end
# of the top folder's configuration, so that it does not matter where its
# target is defined.
function(krova_install_command_line_tool)
  if(TARGET krova-cli)
    install(TARGETS krova-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL krova_install_command_line_tool)

install(FILES ${KROVA_PACKAGING_DIR}/${KROVA_APP_ID}.desktop ${KROVA_PACKAGING_DIR}/${KROVA_APP_ID}Demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${KROVA_PACKAGING_DIR}/${KROVA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
# The PNGs are rendered from the SVG by packaging/render-icons.sh and kept in
# the repository.
install(DIRECTORY ${KROVA_PACKAGING_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)

install(FILES relay/support_x.php relay/router.php relay/htaccess.example relay/nginx.conf.example
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/${KROVA_PACKAGE_NAME}/relay)
# A service for logging on a computer without a screen; copied to
# /etc/systemd/system by whoever wants it, so it is not started by the package.
install(FILES ${KROVA_PACKAGING_DIR}/systemd/krova-log.service
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/${KROVA_PACKAGE_NAME}/systemd)
install(FILES README.md ${KROVA_PACKAGING_DIR}/copyright DESTINATION ${KROVA_DOC_DIR})
# The user guide is program data, not documentation: F1 shows it, and
# minimal systems may drop /usr/share/doc.
install(FILES docs/user-guide.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/${KROVA_PACKAGE_NAME}/user-guide)
install(DIRECTORY docs/guide DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/${KROVA_PACKAGE_NAME}/user-guide)
install(DIRECTORY examples/ DESTINATION ${KROVA_DOC_DIR}/examples)

# Manual pages and the changelog are installed compressed, as Debian has them
# (gzip -n: no name or time stamp in the file, so the package is the same
# from one build to the next).
file(GLOB KROVA_MAN_PAGES CONFIGURE_DEPENDS ${KROVA_PACKAGING_DIR}/man/*.1)
set(KROVA_COMPRESSED_FILES)
foreach(source ${KROVA_MAN_PAGES} ${KROVA_PACKAGING_DIR}/changelog)
  get_filename_component(name ${source} NAME)
  set(copy ${CMAKE_BINARY_DIR}/packaging/${name})
  add_custom_command(OUTPUT ${copy}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
                     COMMAND gzip -9nf ${copy}
                     DEPENDS ${source} VERBATIM)
  list(APPEND KROVA_COMPRESSED_FILES ${copy}.gz)
  if(source MATCHES "\\.1$")
    install(FILES ${copy}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${copy}.gz DESTINATION ${KROVA_DOC_DIR})
  endif()
endforeach()
add_custom_target(krova_compressed_docs ALL DEPENDS ${KROVA_COMPRESSED_FILES})

# udev reads its rules from /usr/lib/udev/rules.d (Debian 12; /lib/udev is
# the same folder there) and /etc/udev/rules.d, never from below another
# prefix. So only an install to /usr puts the rule where it works; any other
# prefix keeps it in share/krova-utility/udev for the administrator to copy
# to /etc/udev/rules.d. -DKROVA_UDEV_RULES_DIR=... chooses the folder.
string(REGEX REPLACE "(.)/+$" "\\1" KROVA_PREFIX "${CMAKE_INSTALL_PREFIX}")
if(NOT DEFINED KROVA_UDEV_RULES_DIR)
  if(KROVA_PREFIX STREQUAL "/usr")
    set(KROVA_UDEV_RULES_DIR lib/udev/rules.d)
  else()
    set(KROVA_UDEV_RULES_DIR ${CMAKE_INSTALL_DATAROOTDIR}/${KROVA_PACKAGE_NAME}/udev)
    message(STATUS "Install prefix ${KROVA_PREFIX}: the udev rule goes to ${KROVA_UDEV_RULES_DIR}, "
                   "where udev does not read it (copy it to /etc/udev/rules.d)")
  endif()
endif()
install(FILES ${KROVA_PACKAGING_DIR}/70-krova-regulator.rules DESTINATION ${KROVA_UDEV_RULES_DIR})

# The Debian package: cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (./krova package does all of it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KROVA_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Norvelle")
set(CPACK_PACKAGE_CONTACT "K-ROVA X Utility maintainers <maintainers@krova.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://krova.example/utility/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service utility for the K-ROVA X alternator regulator")
# Lines of at most 80 characters; CPack indents them as the control file wants.
set(CPACK_PACKAGE_DESCRIPTION [[
Talks to one K-ROVA X alternator field regulator over USB: shows its live
state and that of a peer regulator on the same CAN bus, edits, writes, saves
and loads its settings (with a backup before every write), runs the three
calibrations, lists raw CAN frames, logs values to a text file, plots trends
and writes a PDF service report.

Live data and settings can be shared with a support technician through a
small PHP relay, which is included with examples for Apache and nginx.

krova-utility-demo runs the same window with a simulated regulator. The
package's udev rule lets the user at the seat open the regulator without
root.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the libraries the binaries link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "php-cli")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KROVA_PACKAGING_DIR}/postinst ${KROVA_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Stops cpack when the rule would not land in udev's folder.
set(CPACK_KROVA_UDEV_RULES_DIR ${KROVA_UDEV_RULES_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${KROVA_PACKAGING_DIR}/cpack-checks.cmake)
include(CPack)
