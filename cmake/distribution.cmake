# Installation: the binary, its man page and its bash completion.
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
