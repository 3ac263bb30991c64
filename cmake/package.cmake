# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh)
# makes lozengia_<version>-1_<arch>.deb of what cmake/install.cmake installs,
# under /usr. Its dependencies are the libraries the programs link, as
# dpkg-shlibdeps finds them, and the Qt platform plugins, without which the
# desktop program cannot open a window (Debian's Qt only recommends them).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lozengia)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Lozengia maintainers <maintainers@lozengia.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exact random lozenge tilings of a hexagon")
# Lines as Debian's control files keep them, under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Lozengia generates and draws random lozenge tilings of a hexagon with sides"
  "N, T-S and S (boxed plane partitions) under six probability models: Hahn"
  "(uniform), q-Hahn, Racah, Trigonometric q-Racah, Real q-Racah and Imaginary"
  "q-Racah. Two Markov operators change S by one while keeping the tiling"
  "distributed by the model, so that steps from S = 0 give exact samples."
  ""
  "This package holds the desktop program (lozengia) and the command-line tool"
  "(lozengia-cli), which writes plane partitions and PNG or SVG pictures"
  "without a display.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(LOZENGIA_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
