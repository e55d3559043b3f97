# Installation and the Debian package.
#
#   cmake --install BUILD [--prefix P]   executable in bin/; the core library,
#                                        the identity-store and user-interface
#                                        modules in the private folder
#                                        lib[/<multiarch>]/tavrin-bridge;
#                                        desktop entry, icons, AppStream metainfo,
#                                        man page and the system-wide manifests
#   cpack -G DEB --config BUILD/CPackConfig.cmake
#
# The executable carries the core's static twin and finds both modules
# through the private folder's path relative to bin/ (host/CMakeLists.txt);
# the shared core, for embedders, finds the store module beside itself. The package is
# meant to be built from a tree configured with the /usr prefix (the default).

set(tavrin_packaging "${PROJECT_SOURCE_DIR}/packaging")
set(tavrin_generated "${PROJECT_BINARY_DIR}/packaging")
set(tavrin_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/tavrin-bridge")

install(TARGETS tavrin-bridge RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# Only the run-time library: nothing outside the package links against it.
install(TARGETS tavrin_bridge_core LIBRARY DESTINATION "${TAVRIN_PKGLIBDIR}" NAMELINK_SKIP)
install(TARGETS tavrin_bridge_ui LIBRARY DESTINATION "${TAVRIN_PKGLIBDIR}")
# The identity store: the core loads it from its own folder.
install(TARGETS tavrin_bridge_store LIBRARY DESTINATION "${TAVRIN_PKGLIBDIR}")
install(FILES "${tavrin_packaging}/cz.tavrin.bridge.desktop"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${tavrin_packaging}/cz.tavrin.bridge.metainfo.xml"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${tavrin_packaging}/cz.tavrin.bridge.svg"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${tavrin_packaging}/copyright" DESTINATION "${tavrin_doc_dir}")

# Generated files: the PNG icons in the usual hicolor sizes from the SVG, and
# the man page and the changelog compressed as Debian wants them (gzip -9n,
# no name or time stamp, so the package is reproducible).
find_program(TAVRIN_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(TAVRIN_GZIP gzip REQUIRED)
set(tavrin_generated_files)
foreach(size 16 24 32 48 64 128 256)
  set(png "${tavrin_generated}/icons/${size}/cz.tavrin.bridge.png")
  add_custom_command(OUTPUT "${png}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${tavrin_generated}/icons/${size}"
    COMMAND "${TAVRIN_RSVG_CONVERT}" -w ${size} -h ${size} -o "${png}"
            "${tavrin_packaging}/cz.tavrin.bridge.svg"
    DEPENDS "${tavrin_packaging}/cz.tavrin.bridge.svg" VERBATIM)
  list(APPEND tavrin_generated_files "${png}")
  install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()
foreach(pair "tavrin-bridge.1;tavrin-bridge.1.gz" "changelog;changelog.gz")
  list(GET pair 0 source)
  list(GET pair 1 compressed)
  add_custom_command(OUTPUT "${tavrin_generated}/${compressed}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${tavrin_packaging}/${source}" "${tavrin_generated}/${source}"
    COMMAND "${TAVRIN_GZIP}" -9nf "${tavrin_generated}/${source}"
    DEPENDS "${tavrin_packaging}/${source}" VERBATIM)
  list(APPEND tavrin_generated_files "${tavrin_generated}/${compressed}")
endforeach()
add_custom_target(tavrin_packaging_files ALL DEPENDS ${tavrin_generated_files})
install(FILES "${tavrin_generated}/tavrin-bridge.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
# The version has no Debian revision: a native package, whose changelog is
# changelog.gz.
install(FILES "${tavrin_generated}/changelog.gz" DESTINATION "${tavrin_doc_dir}")

# System-wide native-messaging manifests, so that installing the package
# connects every browser for every user. The text is what the program's own
# installer writes for the installed executable (scripts/package-test.sh
# compares the two), with the built-in extension IDs of
# host/src/browser/identifiers.h.
function(tavrin_system_manifest file allowed_key)
  set(entries)
  foreach(entry IN LISTS ARGN)
    list(APPEND entries "    \"${entry}\"")
  endforeach()
  list(JOIN entries ",\n" entries)
  file(WRITE "${file}" "{\n  \"${allowed_key}\": [\n${entries}\n  ],\n"
    "  \"description\": \"Tavrin Bridge native host\",\n"
    "  \"name\": \"cz.tavrin.bridge\",\n"
    "  \"path\": \"${CMAKE_INSTALL_FULL_BINDIR}/tavrin-bridge\",\n"
    "  \"type\": \"stdio\"\n}\n")
endfunction()
set(tavrin_manifests "${tavrin_generated}/native-messaging-hosts")
tavrin_system_manifest("${tavrin_manifests}/chrome/cz.tavrin.bridge.json" allowed_origins
  "chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"
  "chrome-extension://mjoobkgcfnnckjkpfghdaegipnkhdide/")
tavrin_system_manifest("${tavrin_manifests}/edge/cz.tavrin.bridge.json" allowed_origins
  "chrome-extension://ljhglnahnbegoikbdimiodbpkjgjcahi/")
tavrin_system_manifest("${tavrin_manifests}/firefox/cz.tavrin.bridge.json" allowed_extensions
  "bridge@tavrin.cz")
# The Chromium-based browsers' folders are under /etc: there the package
# links to its own files below /usr/share, so that removing the package (not
# only purging it) removes the manifests. Brave and Vivaldi have no system
# folder of their own: they read Chromium's (older Vivaldi releases Chrome's).
# Google Chrome's and Microsoft Edge's folders are below /etc/opt, where a
# Debian package may not ship files: the maintainer scripts make and remove
# those links.
set(tavrin_shared_manifests "${CMAKE_INSTALL_DATADIR}/tavrin-bridge/native-messaging-hosts")
install(DIRECTORY "${tavrin_manifests}/chrome" "${tavrin_manifests}/edge"
  DESTINATION "${tavrin_shared_manifests}")
set(link "${tavrin_manifests}/links/chromium/cz.tavrin.bridge.json")
file(MAKE_DIRECTORY "${tavrin_manifests}/links/chromium")
file(CREATE_LINK "${CMAKE_INSTALL_PREFIX}/${tavrin_shared_manifests}/chrome/cz.tavrin.bridge.json"
  "${link}" SYMBOLIC)
install(FILES "${link}" DESTINATION "${CMAKE_INSTALL_FULL_SYSCONFDIR}/chromium/native-messaging-hosts")
set(TAVRIN_ETC_OPT_LINKS "chrome:chrome edge:edge")
set(TAVRIN_SYSCONFDIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}")
set(TAVRIN_SHARED_MANIFESTS "${CMAKE_INSTALL_PREFIX}/${tavrin_shared_manifests}")
foreach(script postinst postrm)
  configure_file("${tavrin_packaging}/${script}.in" "${tavrin_generated}/control/${script}" @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
endforeach()
# Firefox reads /usr/lib/mozilla whatever the multiarch folder.
install(FILES "${tavrin_manifests}/firefox/cz.tavrin.bridge.json"
  DESTINATION "lib/mozilla/native-messaging-hosts")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tavrin-bridge")
set(CPACK_PACKAGE_VENDOR "Tavrin")
set(CPACK_PACKAGE_CONTACT "Tavrin Bridge <bridge@tavrin.cz>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop signing bridge for web pages")
set(CPACK_PACKAGE_DESCRIPTION
  "Answers a browser extension over native messaging with the certificates of\n\
the user's signing identities and signs document hashes with their keys,\n\
after the user has granted the web page access and confirmed each signature.\n\
Installing the package connects Chromium, Google Chrome, Microsoft Edge and\n\
Firefox for every user.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Dependencies from the binaries (NSS, OpenSSL, Qt); the core library is the
# package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/core")
# Smart cards and tokens: the PC/SC daemon, the OpenSC module and p11-kit's
# module configuration, through which the NSS store finds them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${tavrin_generated}/control/postinst" "${tavrin_generated}/control/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcscd, opensc-pkcs11, p11-kit-modules")
include(CPack)
