# Installation and the Debian package: the three programs, the menu entries
# (the window and the bench) and their icon, manual pages, bash completion
# and the package's documents.
# `make install` (PREFIX, DESTDIR) and `make package` (CPack, DEB) use these
# rules; included from the top CMakeLists.txt.
include(GNUInstallDirs)

set(KNS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KNS_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

foreach(program knsimtool knsimtool-cli knsim-emu)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages and the changelog go compressed, without time stamps, so that
# two builds of the same source give the same package.
find_program(KNS_GZIP gzip REQUIRED)
set(KNS_GZIPPED)
function(kns_gzip source target)
  add_custom_command(
    OUTPUT ${target}
    COMMAND ${KNS_GZIP} -9nc ${source} > ${target}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
  set(KNS_GZIPPED ${KNS_GZIPPED} ${target} PARENT_SCOPE)
endfunction()

foreach(page knsimtool knsimtool-cli knsim-emu)
  kns_gzip(${KNS_PACKAGING_DIR}/man/${page}.1 ${KNS_PACKAGING_OUT}/${page}.1.gz)
  install(FILES ${KNS_PACKAGING_OUT}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
kns_gzip(${KNS_PACKAGING_DIR}/changelog ${KNS_PACKAGING_OUT}/changelog.gz)
add_custom_target(kns_packaging_files ALL DEPENDS ${KNS_GZIPPED})

install(FILES ${KNS_PACKAGING_DIR}/knsimtool.desktop ${KNS_PACKAGING_DIR}/knsimtool-bench.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/knsimtool.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${KNS_PACKAGING_DIR}/knsimtool-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME knsimtool-cli)
install(FILES ${KNS_PACKAGING_DIR}/copyright ${KNS_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/knsimtool)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME knsimtool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${KNS_VENDOR_NAME}")
set(CPACK_PACKAGE_CONTACT "KNSimTool developers <maintainers@knsimtool.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "KNSimTool talks to the KARNOL OBD-II ECU simulator over a serial port. It
shows the simulator's serial number, firmware, bus protocol, ECU count,
malfunction indicator lamp and trouble codes, sets protocol, ECU count and
up to ten trouble codes per ECU, saves and opens set-ups as .kns files, and
updates the simulator's firmware.

The package holds the window (knsimtool), the command line for scripts and
test benches (knsimtool-cli) and an emulated simulator on a
pseudo-terminal (knsim-emu).")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries come from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
