# The Debian package (scripts/package.sh, or `cpack -G DEB` in a Release build folder):
# duskmere_<version>_amd64.deb with the hack, its settings file, the Wayland saver and its systemd
# user unit, the renderer, their man pages, the copyright file and the changelog, all under /usr.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

# Man pages carry the version; Debian wants them and the changelog gzipped at maximum
# compression, without a file name or time stamp, so that builds are reproducible.
find_program(DUSKMERE_GZIP gzip REQUIRED)
set(pages ${CMAKE_BINARY_DIR}/packaging)
set(compressed)
foreach(page duskmere.6 duskmere-wayland.6 duskmere-render.1)
  configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page} ${pages}/${page} @ONLY)
  list(APPEND compressed ${pages}/${page}.gz)
endforeach()
# A release whose changelog does not name it would ship a package that contradicts itself.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^duskmere \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog must begin with an entry for ${PROJECT_VERSION}")
endif()
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${pages}/changelog COPYONLY)
list(APPEND compressed ${pages}/changelog.gz)
foreach(gz ${compressed})
  string(REGEX REPLACE "\\.gz$" "" plain ${gz})
  add_custom_command(OUTPUT ${gz} COMMAND ${DUSKMERE_GZIP} -9n -c ${plain} > ${gz} DEPENDS ${plain})
endforeach()
add_custom_target(duskmere_docs ALL DEPENDS ${compressed})

install(FILES ${pages}/duskmere.6.gz ${pages}/duskmere-wayland.6.gz DESTINATION share/man/man6)
install(FILES ${pages}/duskmere-render.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${pages}/changelog.gz
        DESTINATION share/doc/duskmere)
# The idle service, for users to enable (no maintainer script enables it). Its ExecStart names the
# program without a folder: systemd finds it in /usr/bin or /usr/local/bin.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/duskmere-wayland.service DESTINATION lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME duskmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Duskmere developers <duskmere@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "pixel-art night city screen saver for XScreenSaver and Wayland
A low-resolution night scene shown enlarged with hard pixel edges and a
faint scanline under every row: a city skyline whose windows light up one
pixel at a time, with stars, meteors, comets and blinking antenna masts, or
a scrolling forest with campfires, sparks, fireflies and walking animals.
.
The package holds the XScreenSaver hack with its settings file;
duskmere-wayland, the saver and a live wallpaper for Wayland compositors
(full-screen windows where there is no layer shell), with a systemd user
service that shows it whenever the session is idle, on GNOME, KDE Plasma,
sway and other compositors with an idle protocol; and duskmere-render, which
renders the scenes without a display to PNG images, raw video frames or
per-frame hashes.")
include(CPack)
