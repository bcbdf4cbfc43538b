# Install rules (binary, desktop entry, icons, AppStream metadata, man page, Debian docs) and the
# Debian package. Package facts live here only.
include(GNUInstallDirs)

set(TAMBER_PACKAGE_NAME "tamber")
set(TAMBER_PACKAGE_SUMMARY "Velora meetings from the system tray")
set(TAMBER_PACKAGE_DESCRIPTION
    "Tamber keeps Velora meetings one click away: upcoming meetings grouped by\nday, joining by id and passcode, the personal meeting room, scheduling,\nchanging and cancelling meetings, and room defaults, from one icon in the\nsystem tray.")
set(TAMBER_PACKAGE_MAINTAINER "Tamber developers <tamber@velora.example>")
set(TAMBER_PACKAGE_SECTION "net")
set(TAMBER_SCREENSHOT_URL "https://www.velora.example/tamber/screenshots"
    CACHE STRING "Where the published screenshots of docs/screenshots live")

# The Debian changelog wants the date in RFC 2822 form.
execute_process(COMMAND date -u -R -d "${TAMBER_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE TAMBER_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

set(package_in ${PROJECT_SOURCE_DIR}/resources/package)
set(package_out ${PROJECT_BINARY_DIR}/package)
configure_file(${package_in}/app.desktop.in ${package_out}/${TAMBER_BUNDLE_ID}.desktop @ONLY)
configure_file(${package_in}/app.metainfo.xml.in
               ${package_out}/${TAMBER_BUNDLE_ID}.metainfo.xml @ONLY)
configure_file(${package_in}/tamber.1.in ${package_out}/tamber.1 @ONLY)
configure_file(${package_in}/changelog.in ${package_out}/changelog @ONLY)

# Debian wants man pages and changelogs compressed reproducibly.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
foreach(doc tamber.1 changelog)
  add_custom_command(OUTPUT ${package_out}/${doc}.gz
    COMMAND ${GZIP_EXECUTABLE} -9nc ${package_out}/${doc} > ${package_out}/${doc}.gz
    DEPENDS ${package_out}/${doc} VERBATIM)
endforeach()
add_custom_target(tamber_package_docs ALL
  DEPENDS ${package_out}/tamber.1.gz ${package_out}/changelog.gz)

install(TARGETS tamber RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The sign-on window program; tamber finds it through the relative path of src/CMakeLists.txt.
install(TARGETS tamber-sso RUNTIME DESTINATION ${TAMBER_SSO_HELPER_INSTALL_DIR})
install(FILES ${package_out}/${TAMBER_BUNDLE_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${package_out}/${TAMBER_BUNDLE_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/logo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TAMBER_BUNDLE_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256 512)
  install(FILES ${package_in}/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TAMBER_BUNDLE_ID}.png)
endforeach()
install(FILES ${package_out}/tamber.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${package_in}/copyright ${package_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TAMBER_PACKAGE_NAME})

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME ${TAMBER_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAMBER_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TAMBER_PACKAGE_SUMMARY})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAMBER_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION ${TAMBER_PACKAGE_SECTION})
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PACKAGE_DESCRIPTION ${TAMBER_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The password is kept through the Secret Service of the desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velora.example/")
# Only the application: the simulator and the tests have no install rules.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
