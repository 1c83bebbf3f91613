# Read by cpack before it makes a package (CPACK_PROJECT_CONFIG_FILE).
# The Debian package installs to /usr; its udev rule only works in udev's
# own folder, which a build configured for another prefix does not use.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_KROVA_UDEV_RULES_DIR STREQUAL "lib/udev/rules.d")
  message(FATAL_ERROR "The Debian package needs a build configured with -DCMAKE_INSTALL_PREFIX=/usr "
                      "(the udev rule would go to ${CPACK_KROVA_UDEV_RULES_DIR}); ./krova package does that.")
endif()
