# Installing camview as a desktop program: the binary, its menu entry and its icon in the
# freedesktop.org places, and the demo camera beside it. `cpack` turns the same install into
# a Debian package.
include(GNUInstallDirs)

install(TARGETS camview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/camview.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/camview.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Bitmap icons for menus and panels that do not draw SVG, rendered from the same drawing.
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  set(icon_files)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/camview.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/packaging/camview.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/packaging/camview.svg
      COMMENT "Rendering the ${size}x${size} icon")
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND icon_files ${png})
  endforeach()
  add_custom_target(camview-icons ALL DEPENDS ${icon_files})
else()
  message(STATUS "rsvg-convert not found: only the scalable icon is installed (package librsvg2-bin)")
endif()

# The demo camera: `camview-democam` finds its test card program in ../libexec/camview.
if(TARGET camview-testcard)
  install(TARGETS camview-testcard RUNTIME DESTINATION libexec/camview)
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/tools/democam
          DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME camview-democam)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME camview)
set(CPACK_PACKAGE_VENDOR "camview developers")
set(CPACK_PACKAGE_CONTACT "camview developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for the still pictures of a network camera")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "camview developers")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The summary above is the first line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "camview asks a network camera over HTTP for its current JPEG snapshot and shows
it in a window. Type the camera's address, port, user ID and password and press
Connect; every press fetches one new picture.
.
camview-democam starts a demo camera on loopback to try it with (needs lighttpd).")
# The libraries come from the binaries themselves; what they load at run time does not show
# there: Qt's X11 and Wayland platform plugins and the faces the window's layout asks for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-arphic-ukai, fonts-dejavu-core")
# Only a suggestion: installing lighttpd also starts a system web server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "lighttpd")
include(CPack)
