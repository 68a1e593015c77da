# The Debian package of the suite, ulvex_<version>_<arch>.deb: what the
# install rules install (library, headers, pkg-config and CMake files, the
# four programs, man pages, completion, schemas), under /usr whatever the
# build's own prefix. scripts/make-deb builds it; cpack works on any build
# directory of the programs, since every install destination is relative.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ulvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# <name>_<version>_<arch>.deb, the architecture as dpkg --print-architecture
# names it.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

set(ULVEX_DEB_MAINTAINER "Ulvex developers <ulvex@example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ULVEX_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line is the synopsis; CPack indents the rest as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "serial flash loader for embedded boards
Programs the flash or RAM of embedded boards over a serial port: wakes a
board's boot loader, downloads a monitor, then erases, programs, verifies
by CRC32 and restarts the board, reporting every stage.
.
The package holds the library libulvex with its C headers, pkg-config file
and CMake package; the command lines ulvex and vorn; Ombrel, a Qt program
with its own block protocol; and vtarget, a virtual target board on a
pseudo-terminal for trying the tools without hardware.")

# Depends from the shared libraries the programs and the library link
# (dpkg-shlibdeps, from dpkg-dev); the package's own library gets a shlibs
# entry, so that packages built against it depend on this one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The soname changes with the major version only: any later 2.x will do.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The library cache is updated through dpkg's ldconfig trigger (CPack's
# postinst and postrm call ldconfig too).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
# Debian ships programs and libraries without their debug information.
set(CPACK_STRIP_FILES ON)
# Man pages compressed, as Debian keeps them.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressManPages.cmake)

include(CPack)
