# The Debian package kestravon-miner_<version>_amd64.deb (make package): the programs in
# /usr/bin with a man page each, the desktop entry, icons and AppStream metainfo of the
# window, and the service's systemd user unit (off by default). Dependencies are
# computed by dpkg-shlibdeps from the programs themselves.
#
# Another program joins the package with one line below:
#   kestravon_package_program(<target> MAN packaging/<name>.1 [USER_UNIT packaging/<name>.service])
# (a unit's @PROJECT_VERSION@ is filled in; it names the programs in /usr/bin, where the package puts them).
include(GNUInstallDirs)

set(KESTRAVON_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(KESTRAVON_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KESTRAVON_PACKAGING_OUT})

# Debian wants man pages and the changelog compressed, reproducibly (no name, no time).
function(kestravon_gzip_for_package source out_var)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  configure_file(${source} ${KESTRAVON_PACKAGING_OUT}/${name} @ONLY)
  execute_process(COMMAND gzip -9nf ${KESTRAVON_PACKAGING_OUT}/${name} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip of ${name} for the package failed")
  endif()
  set(${out_var} ${KESTRAVON_PACKAGING_OUT}/${name}.gz PARENT_SCOPE)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

function(kestravon_package_program target)
  cmake_parse_arguments(P "" "MAN;USER_UNIT" "" ${ARGN})
  if(NOT TARGET ${target})
    return()
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(P_MAN)
    kestravon_gzip_for_package(${CMAKE_SOURCE_DIR}/${P_MAN} page)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  if(P_USER_UNIT)
    get_filename_component(unit ${P_USER_UNIT} NAME)
    configure_file(${CMAKE_SOURCE_DIR}/${P_USER_UNIT} ${KESTRAVON_PACKAGING_OUT}/${unit} @ONLY)
    # systemd's own place for units of user managers, also on a multiarch libdir.
    install(FILES ${KESTRAVON_PACKAGING_OUT}/${unit} DESTINATION lib/systemd/user)
  endif()
endfunction()

kestravon_package_program(kestravon-miner MAN packaging/kestravon-miner.1)
kestravon_package_program(mining-service MAN packaging/mining-service.1
  USER_UNIT packaging/mining-service.service)
kestravon_package_program(kestravon-minerd MAN packaging/kestravon-minerd.1
  USER_UNIT packaging/kestravon-minerd.service)

# The window's desktop integration.
if(TARGET kestravon-miner)
  foreach(size 16 24 32 48 256)
    install(FILES ${CMAKE_SOURCE_DIR}/ui/resources/icon_${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME kestravon-miner.png)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/ui/resources/io.kestravon.Miner.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${KESTRAVON_PACKAGING_DIR}/io.kestravon.Miner.metainfo.xml
    ${KESTRAVON_PACKAGING_OUT}/io.kestravon.Miner.metainfo.xml @ONLY)
  install(FILES ${KESTRAVON_PACKAGING_OUT}/io.kestravon.Miner.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

kestravon_gzip_for_package(${KESTRAVON_PACKAGING_DIR}/changelog.in changelog)
install(FILES ${changelog} ${KESTRAVON_PACKAGING_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestravon-miner)

# The package target depends on `all`, so every program the package installs is built
# first, whichever joins it later.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestravon-miner)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KESTRAVON")
set(CPACK_PACKAGE_CONTACT "KESTRAVON developers <developers@kestravon.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client of one simulated Mars mining machine")
# CPack puts the summary first and indents these lines; an empty line starts a paragraph.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"kestravon-miner identifies the machine, downloads its record from the
mining service, shows it on a dashboard, simulates mining on a worker
thread, reports to the service and tells it when the client comes up and
goes down. It is a simulation: no real coin is mined.

The package also holds kestravon-minerd, the same simulated machine
without a window, and mining-service, a local stand-in of the service;
each has a systemd user unit that is off by default.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's font (DejaVu Sans Condensed, in fonts-dejavu-extra; without it labels wrap
# and lose their colons) and its Korean texts; not linked, so not computed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-dejavu-extra, fonts-nanum")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
