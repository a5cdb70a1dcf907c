# Installing: the binaries, the demo scene, the docs and the protocol
# schema in the usual places; `cpack` in the build directory makes a .deb
# whose library dependencies dpkg-shlibdeps computes.
include(GNUInstallDirs)

install(TARGETS computer-use-helper computer-use-helper-render
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES scenes/demo.json DESTINATION ${CMAKE_INSTALL_DATADIR}/computer-use-helper/scenes)
install(FILES README.md docs/protocol.md docs/simulated-desktop.md docs/performance.md
    docs/reliability.md docs/macos.md docs/render.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/schema/protocol.schema.json DESTINATION ${CMAKE_INSTALL_DOCDIR}/schema)
install(FILES docs/images/demo.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/images)

set(CPACK_PACKAGE_NAME computer-use-helper)
set(CPACK_PACKAGE_VENDOR "computer-use-helper")
set(CPACK_PACKAGE_CONTACT "computer-use-helper developers <computer-use-helper@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Observe and operate other applications' windows in the background for an agent")
set(CPACK_PACKAGE_DESCRIPTION
  "A small child process that an agent application starts to observe and operate the windows of other applications without bringing them to the front: one JSON request per line on standard input, one JSON response per line on standard output. On Linux it serves a simulated desktop from a JSON scene, for developing and testing agents in CI.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
