# Installed layout and the Debian package (bash scripts/package).
#
#   <prefix>/lib/rolvan/         the program and its read-only files: Rolvan, rolvanctl, runUpdate,
#                                SampleQuorin.db, the three sounds, unSign.jpg, NoSign.jpg and the
#                                marker "rolvan-installed" that tells the station it is installed
#   <prefix>/bin/rolvan, rolvanctl   links to the programs
#   <prefix>/share/applications/rolvan.desktop, <prefix>/share/icons/hicolor/*/apps/rolvan.*
#
# An installed station keeps its writable files per user: Rolvan.ini in $XDG_DATA_HOME/rolvan
# (~/.local/share/rolvan), the data folders where the settings say (by default ~/RolvanDAP).
# ROLVAN_HOME still names a demo or test home that holds everything.

set(ROLVAN_INSTALL_PROGRAM_DIR lib/rolvan)

install(TARGETS Rolvan rolvanctl RUNTIME DESTINATION ${ROLVAN_INSTALL_PROGRAM_DIR})
if(TARGET runUpdate)
  install(TARGETS runUpdate RUNTIME DESTINATION ${ROLVAN_INSTALL_PROGRAM_DIR})
endif()
install(FILES
  ${CMAKE_BINARY_DIR}/SampleQuorin.db
  ${CMAKE_BINARY_DIR}/RolvanOK.wav ${CMAKE_BINARY_DIR}/RolvanDup.wav ${CMAKE_BINARY_DIR}/RolvanError.wav
  ${PROJECT_SOURCE_DIR}/resources/pictures/unSign.jpg ${PROJECT_SOURCE_DIR}/resources/pictures/NoSign.jpg
  ${PROJECT_SOURCE_DIR}/resources/desktop/rolvan-installed
  DESTINATION ${ROLVAN_INSTALL_PROGRAM_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# bin/rolvan and bin/rolvanctl: relative links into the program folder.
set(ROLVAN_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${ROLVAN_LINK_DIR})
file(CREATE_LINK ../${ROLVAN_INSTALL_PROGRAM_DIR}/Rolvan ${ROLVAN_LINK_DIR}/rolvan SYMBOLIC)
file(CREATE_LINK ../${ROLVAN_INSTALL_PROGRAM_DIR}/rolvanctl ${ROLVAN_LINK_DIR}/rolvanctl SYMBOLIC)
install(FILES ${ROLVAN_LINK_DIR}/rolvan ${ROLVAN_LINK_DIR}/rolvanctl DESTINATION bin)

install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/rolvan.desktop DESTINATION share/applications)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION share/icons)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/rolvan.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/rolvan)

# The Debian package: rolvan_<version>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rolvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Rolvan maintainers <rolvan@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "講習教育 簽到退作業 - attendance station for training classes")
set(CPACK_PACKAGE_DESCRIPTION "Sign-in and sign-out of training classes, credited hours, sheets and the agency's CSV files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Shared libraries from dpkg-shlibdeps; the plugins Qt loads at run time by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, fonts-noto-cjk, fonts-arphic-ukai")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, chrony")
set(CPACK_STRIP_FILES ON)
include(CPack)
