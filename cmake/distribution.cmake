# Installation and the Debian package: the binary, its man page, its bash completion, the
# systemd service and timer that feed node_exporter, and an example Ansible fact script.
include(GNUInstallDirs)

# Debian ships man pages compressed; gzip -n keeps the archive byte-identical between builds.
set(TTYENUM_MAN_PAGE ${CMAKE_CURRENT_SOURCE_DIR}/doc/ttyenum.1)
set(TTYENUM_MAN_PAGE_GZ ${CMAKE_CURRENT_BINARY_DIR}/ttyenum.1.gz)
add_custom_command(
  OUTPUT ${TTYENUM_MAN_PAGE_GZ}
  COMMAND sh -c "gzip -9 -n -c '${TTYENUM_MAN_PAGE}' > '${TTYENUM_MAN_PAGE_GZ}'"
  DEPENDS ${TTYENUM_MAN_PAGE}
  COMMENT "Compressing the man page"
  VERBATIM)
add_custom_target(ttyenum_man_page ALL DEPENDS ${TTYENUM_MAN_PAGE_GZ})

install(TARGETS ttyenum RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TTYENUM_MAN_PAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/ttyenum
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# Installed, not enabled; systemd reads units below /usr/lib and /usr/local/lib alike. Not
# CMAKE_INSTALL_LIBDIR, which is a multiarch folder on Debian.
install(FILES dist/systemd/ttyenum-metrics.service dist/systemd/ttyenum-metrics.timer
        DESTINATION lib/systemd/system)
install(FILES dist/ansible/ttyenum.fact DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ttyenum)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ttyenum maintainers <maintainers@ttyenum.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list serial ports and whether a process holds them open")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries the binary really links (libwxbase3.2-1, libstdc++6, libc6),
# and libkmod2, which it opens when it first needs the kernel's module index. Building needs
# libwxgtk3.2-dev (for wxBase), libkmod-dev (for its header) and nlohmann-json3-dev
# (header-only, so it adds nothing to Depends); scripts/ship package installs them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libkmod2")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this text as the description's first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "ttyenum lists the serial ports of a Linux machine: on-board and PCI UARTs
(/dev/ttyS*), USB serial adapters (/dev/ttyUSB*), USB CDC ACM devices
(/dev/ttyACM*), the on-chip UARTs of ARM boards (/dev/ttyAMA* and
device-tree UARTs), and every other serial port whatever its driver calls
it (i.MX ttymxc, Zynq ttyPS, Tegra ttyTHS, UART chips on SPI or I2C). It keeps the nodes that sysfs shows to be real hardware,
describes each one (USB vendor and product ids, manufacturer, product,
serial number and version; Plug and Play or PCI ids; kernel driver) and
tells whether a process holds it open, from the descriptor links in /proc.

The output is a detailed block per port, the bare port names, one line per
port shaped by a format string, or a JSON document that also names the
holder, the stable /dev/serial names and the USB location. Ports can be filtered by
state and by USB vendor and product id. The tool never opens a port.

For fleets: --prometheus writes the listing as Prometheus metrics, and the
systemd timer ttyenum-metrics.timer (installed, not enabled) writes them
each minute for node_exporter's textfile collector. An example Ansible fact
script in /usr/share/doc/ttyenum/examples/ puts the ports into
ansible_local.")
include(CPack)

if(BUILD_TESTING)
  add_subdirectory(tests/ship)
endif()
