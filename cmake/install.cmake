# Installation (`cmake --install`) and the Debian package (`cpack`).
#
# Installed, in the usual places under the prefix: the program, its desktop
# entry, its icon at every size drawn in assets/, the AppStream metadata,
# the manual page, bash completion, the description of its D-Bus
# interface, and the copyright file and changelog.
# The package installs under /usr and depends on the Qt runtime with its
# Wayland platform and SQL drivers, and on the fonts the patterns and
# windows ask for.

include(GNUInstallDirs)

set(VANTREL_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
# Named after the package, not after the CMake project.
set(VANTREL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/vantrel)

install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VANTREL_PACKAGING}/vantrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VANTREL_PACKAGING}/vantrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME example.quillmere.Vantrel.metainfo.xml)
install(FILES ${VANTREL_PACKAGING}/vantrel.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vantrel)
# What --control dbus offers on the session bus, for clients and their
# code generators; the program answers introspection with the same text.
install(FILES ${CMAKE_SOURCE_DIR}/src/control/example.quillmere.Vantrel1.Station.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)
install(FILES ${VANTREL_PACKAGING}/copyright
        DESTINATION ${VANTREL_DOCDIR})
# lintian's overrides, each with its reason written above it.
install(FILES ${VANTREL_PACKAGING}/vantrel.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vantrel)

# The icon at each size the generator draws; the 32 by 32 one is the window
# icon also compiled into the binary.
foreach(size 16 24 32 48 64 128 256)
  if(size EQUAL 32)
    set(icon ${CMAKE_SOURCE_DIR}/assets/icon.png)
  else()
    set(icon ${CMAKE_SOURCE_DIR}/assets/icon-${size}.png)
  endif()
  install(FILES ${icon}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME vantrel.png)
endforeach()

# The manual page and the changelog are installed compressed, without a
# name or time stamp in the gzip header, so that the same sources always
# give the same files. They are compressed when CMake configures, and again
# whenever either source changes.
set(VANTREL_GZ_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${VANTREL_GZ_DIR})
foreach(pair "vantrel.1;vantrel.1.gz" "changelog;changelog.Debian.gz")
  list(GET pair 0 source)
  list(GET pair 1 target)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VANTREL_PACKAGING}/${source})
  execute_process(COMMAND gzip -9n -c ${VANTREL_PACKAGING}/${source}
                  OUTPUT_FILE ${VANTREL_GZ_DIR}/${target}
                  RESULT_VARIABLE gzip_status)
  if(NOT gzip_status EQUAL 0)
    message(FATAL_ERROR "gzip could not compress packaging/${source}")
  endif()
endforeach()
install(FILES ${VANTREL_GZ_DIR}/vantrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VANTREL_GZ_DIR}/changelog.Debian.gz DESTINATION ${VANTREL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_CONTACT "Quillmere <support@quillmere.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen test patterns for the visual inspection of TFT-LCD panels")
# Lines of at most 80 columns, as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION
  "Vantrel steps through 67 full-screen test patterns on the display under
test: solid fields and level series, colour bars, ramps, an edge frame,
line rasters, checkerboards and windows, a flashing box, moving blocks, a
font sample, a cross-hair with a pixel read-out, grids and discs. Every
pattern pixel lands on one physical pixel with exact colours. It can also
export every pattern as a PNG image at any size, without a display, and be
driven by a test executive over D-Bus or JSON-RPC lines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Debian revision of the package: packaging/changelog's first entry
# must name the same version, PROJECT_VERSION-REVISION.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmere <support@quillmere.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quillmere.example")
# Directories 0755 and files 0644 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The fonts are loaded by name, and the Wayland platform plugin and Qt
# SQL's SQLite and PostgreSQL drivers are loaded at run time, so no tool
# finds them: they are named here. The libraries the binary links, with
# their versions, come from dpkg-shlibdeps where it is installed (Debian's
# dpkg-dev), else the Qt runtime packages are named as well.
set(VANTREL_PACKAGE_RUNTIME
    "qt6-wayland, libqt6sql6-sqlite, libqt6sql6-psql, fonts-arphic-uming, fonts-liberation2")
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VANTREL_PACKAGE_RUNTIME}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6gui6, libqt6sql6, libqt6dbus6, libqt6core6, ${VANTREL_PACKAGE_RUNTIME}")
endif()

include(CPack)
