# Installation and the Debian package.
#
#   cmake --install BUILD [--prefix P]   executable in bin/, the core library and
#                                        the user-interface module in the libdir,
#                                        desktop entry and icon under share/
#   cpack -G DEB --config BUILD/CPackConfig.cmake
#
# The executable finds the core through its install RPATH and the module
# through the same relative libdir (host/CMakeLists.txt).

install(TARGETS tavrin-bridge RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# Only the run-time library: nothing in the package builds against it.
install(TARGETS tavrin_bridge_core LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" NAMELINK_SKIP)
install(TARGETS tavrin_bridge_ui LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/cz.tavrin.bridge.desktop"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/cz.tavrin.bridge.svg"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tavrin-bridge")
set(CPACK_PACKAGE_VENDOR "Tavrin")
set(CPACK_PACKAGE_CONTACT "Tavrin Bridge <bridge@tavrin.cz>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop signing bridge for web pages")
set(CPACK_PACKAGE_DESCRIPTION
  "Answers a browser extension over native messaging with the certificates of the user's \
signing identities and signs document hashes with their keys, after the user has granted \
the web page access and confirmed each signature.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Dependencies from the binaries (NSS, OpenSSL, Qt); the core library is the
# package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/core")
include(CPack)
