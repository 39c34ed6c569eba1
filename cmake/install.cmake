# What `cmake --install` puts in place, and the packages CPack makes of it:
# the programs, their manual pages, the README, the licence, the
# changelogs and the examples; no test or benchmark program.
#
#   native build:  cpack -G DEB  (in build/)          pelmorix_<version>_amd64.deb
#   Windows build: cpack -G ZIP  (in build/windows/)  pelmorix-<version>-win32.zip
include(GNUInstallDirs)

set(CPACK_PACKAGE_CONTACT "The Pelmorix developers <pelmorix@example.org>")

set(PELMORIX_EXAMPLES
  ${PROJECT_SOURCE_DIR}/examples/brusselator.skv
  ${PROJECT_SOURCE_DIR}/examples/diffusion.skv
  ${PROJECT_SOURCE_DIR}/examples/gray-scott.skv
  ${PROJECT_SOURCE_DIR}/examples/brusselator.png)

if(WIN32)
  # One folder, as a zip is unpacked: the programs beside their README and
  # licence, which are plain text with the system's line ends.
  install(TARGETS pelmorix pelmorix-genlog pelmorix-scan RUNTIME DESTINATION .)
  foreach(text README.md:README.txt LICENSE:LICENSE.txt)
    string(REPLACE ":" ";" text "${text}")
    list(GET text 0 source)
    list(GET text 1 target)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
    file(READ ${PROJECT_SOURCE_DIR}/${source} pelmorix_text)
    string(REPLACE "\n" "\r\n" pelmorix_text "${pelmorix_text}")
    file(WRITE ${PROJECT_BINARY_DIR}/${target} "${pelmorix_text}")
    install(FILES ${PROJECT_BINARY_DIR}/${target} DESTINATION .)
  endforeach()
  install(FILES ${PELMORIX_EXAMPLES} DESTINATION examples)
else()
  install(TARGETS pelmorix pelmorix-genlog pelmorix-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The pages carry the version; installed compressed, as man reads them
  # and as Debian packages ship them.
  find_program(PELMORIX_GZIP gzip)
  if(NOT PELMORIX_GZIP)
    message(FATAL_ERROR "gzip is needed to install the manual pages")
  endif()
  # `file`, made in the build tree, compressed beside it; its name is added to `list`.
  function(pelmorix_compressed file list)
    get_filename_component(name ${file} NAME)
    add_custom_command(OUTPUT ${file}.gz
                       COMMAND ${PELMORIX_GZIP} -9 -n -f -k ${file}
                       DEPENDS ${file}
                       COMMENT "Compressing ${name}")
    set(${list} ${${list}} ${file}.gz PARENT_SCOPE)
  endfunction()
  set(pelmorix_pages "")
  foreach(page pelmorix.1 pelmorix-genlog.1 pelmorix-scan.1)
    configure_file(${PROJECT_SOURCE_DIR}/man/${page}.in ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
    pelmorix_compressed(${PROJECT_BINARY_DIR}/man/${page} pelmorix_pages)
  endforeach()
  # Two changelogs, compressed as a Debian package ships them: the users'
  # one as it is, and beside it, under the name a native package's tools
  # read, one in the Debian format, an entry per release.
  configure_file(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_BINARY_DIR}/doc/CHANGELOG.md COPYONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/changelog.Debian ${PROJECT_BINARY_DIR}/doc/changelog COPYONLY)
  set(pelmorix_changelog "")
  pelmorix_compressed(${PROJECT_BINARY_DIR}/doc/CHANGELOG.md pelmorix_changelog)
  pelmorix_compressed(${PROJECT_BINARY_DIR}/doc/changelog pelmorix_changelog)
  add_custom_target(pelmorix_docs ALL DEPENDS ${pelmorix_pages} ${pelmorix_changelog})
  # The licence as a machine-readable copyright file, its text taken from
  # LICENSE: every line indented by one blank, an empty line written " .".
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE pelmorix_license)
  string(FIND "${pelmorix_license}" "Permission is hereby granted" pelmorix_body_start)
  if(pelmorix_body_start LESS 0)
    message(FATAL_ERROR "LICENSE does not hold the licence's permission text")
  endif()
  string(SUBSTRING "${pelmorix_license}" ${pelmorix_body_start} -1 pelmorix_license)
  string(STRIP "${pelmorix_license}" pelmorix_license)
  string(REPLACE "\n\n" "\n.\n" pelmorix_license "${pelmorix_license}")
  string(REPLACE "\n" "\n " PELMORIX_LICENSE_BODY " ${pelmorix_license}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${PROJECT_BINARY_DIR}/doc/copyright @ONLY)
  install(FILES ${pelmorix_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/doc/copyright ${pelmorix_changelog}
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PELMORIX_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

set(CPACK_PACKAGE_NAME pelmorix)
set(CPACK_PACKAGE_VENDOR "The Pelmorix developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for the cell logs of 2-D cellular simulations")
# The long description, in lines short enough for package tools to show as they are.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Pelmorix draws the cell log of a two-dimensional cellular simulation\n"
    "(the value of every cell at every time step, as text) in one window:\n"
    "for every cell a small graph of its value over time, laid out in a grid\n"
    "that mirrors the cells, so that a whole run can be judged at a glance.\n"
    "Logs of any length are plotted as they are read, also from a pipe.\n"
    "The package also holds pelmorix-genlog, which writes cell logs from\n"
    "small simulations (heat diffusion, Gray-Scott reaction-diffusion,\n"
    "coupled oscillators), pelmorix-scan, which tells a log's shape and\n"
    "the limits to plot it with, and three example logs.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # pelmorix-<version>-win32.zip, unpacking into a folder of the same name.
  set(CPACK_SYSTEM_NAME win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  # Dependencies from the programs' own library needs (libpng, the
  # decompressors' zlib, libzstd and liblzma, the C and C++ runtimes), as
  # dpkg-shlibdeps finds them, and SDL2, which the viewer opens
  # only when it shows a window, so that dpkg-shlibdeps cannot see it.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
