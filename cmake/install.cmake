# Installation (`cmake --install`) and the Debian package (`cpack`).
#
# Installed: the program, its desktop entry and its icon, in the usual
# places under the prefix. The package installs under /usr and depends on
# the Qt runtime and on the fonts the patterns and windows ask for.

include(GNUInstallDirs)

install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vantrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The program's icon is the 32x32 picture also compiled into the binary.
set(VANTREL_ICON ${CMAKE_SOURCE_DIR}/assets/vantrel.png)
if(NOT EXISTS ${VANTREL_ICON})
  set(VANTREL_ICON ${CMAKE_SOURCE_DIR}/assets/icon.png)
endif()
if(EXISTS ${VANTREL_ICON})
  install(FILES ${VANTREL_ICON}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
          RENAME vantrel.png)
else()
  message(WARNING "No icon in assets/: the installation has none")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen test patterns for the visual inspection of TFT-LCD panels")
set(CPACK_PACKAGE_DESCRIPTION
  "Vantrel steps through 67 full-screen test patterns on the display under test: \
solid fields and level series, colour bars, ramps, an edge frame, line rasters, \
checkerboards and windows, a flashing box, moving blocks, a font sample, a \
cross-hair with a pixel read-out, grids and discs. Every pattern pixel lands on \
one physical pixel with exact colours. It can also export every pattern as a PNG \
image at any size, without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmere")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The fonts are loaded by name at run time, so no tool finds them: they are
# named here. The libraries the binary links, with their versions, come
# from dpkg-shlibdeps where it is installed (Debian's dpkg-dev), else the
# Qt runtime packages are named as well.
set(VANTREL_PACKAGE_FONTS "fonts-arphic-uming, fonts-liberation2")
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VANTREL_PACKAGE_FONTS}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6gui6, libqt6core6, ${VANTREL_PACKAGE_FONTS}")
endif()

include(CPack)
