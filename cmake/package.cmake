# Install rules and packages of the kit, in the native build:
#   bin/bvpack, share/brevant/ (bvunpack.exe, KVN_NL.LNG), the man page,
#   share/doc/brevant/ (README, changelog, copyright, the sample project).
# The Win32 artefacts come from the Win32 build named by BV_WIN32_BIN.
# `./kit package` makes the Debian package (CPack DEB) and a zip of the
# Windows packer with its installer (CPack ZIP, from the Win32 build).
# Packages hold what `./kit package` builds, not the whole build: installing
# does not build every target first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(CPACK_PACKAGE_NAME brevant)
set(CPACK_PACKAGE_VENDOR "Brevant")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installer archives on diskettes for 32-bit Windows")

if(WIN32)
  # The Windows zip: the packer, the installer it finds beside itself (as
  # built: stripping would change the image that swaprun marked), the README.
  install(TARGETS bvpack RUNTIME DESTINATION .)
  install(FILES $<TARGET_FILE:bvunpack> README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME brevant-${PROJECT_VERSION}-win32)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
set(BV_DATA_DIR ${CMAKE_INSTALL_DATADIR}/brevant)

install(TARGETS bvpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The man page, made from bvpack's own --help at build time, so that the two
# cannot drift apart.
find_program(BV_HELP2MAN help2man REQUIRED)
set(BV_MAN_PAGE ${CMAKE_BINARY_DIR}/bvpack.1)
add_custom_command(OUTPUT ${BV_MAN_PAGE}.gz
  COMMAND ${BV_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
          "--name=makes installer archives on diskettes for 32-bit Windows"
          --output=${BV_MAN_PAGE} $<TARGET_FILE:bvpack>
  COMMAND gzip -9nf ${BV_MAN_PAGE}
  DEPENDS bvpack
  VERBATIM)
add_custom_target(bvpack_man ALL DEPENDS ${BV_MAN_PAGE}.gz)
install(FILES ${BV_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(BV_WIN32_BIN)
  install(FILES ${BV_WIN32_BIN}/installer/bvunpack.exe ${BV_WIN32_BIN}/langpack/KVN_NL.LNG
          DESTINATION ${BV_DATA_DIR})
endif()

# The maintainer: given, or the git identity of the machine that packs.
set(BV_MAINTAINER "" CACHE STRING "Maintainer of the Debian package: NAME <ADDRESS>")
if(NOT BV_MAINTAINER)
  execute_process(COMMAND git config user.name WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE bv_name OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND git config user.email WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE bv_email OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(bv_name AND bv_email)
    set(BV_MAINTAINER "${bv_name} <${bv_email}>")
  else()
    set(BV_MAINTAINER "Brevant packager <root@localhost>")
  endif()
endif()
# The changelog as Debian keeps it: compressed, without a time stamp.
set(BV_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${BV_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/packaging/changelog -DOUT=${BV_CHANGELOG}
          -DVERSION=${PROJECT_VERSION} -DMAINTAINER=${BV_MAINTAINER} -P ${CMAKE_SOURCE_DIR}/cmake/gzip_file.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_SOURCE_DIR}/cmake/gzip_file.cmake
  VERBATIM)
add_custom_target(bv_changelog ALL DEPENDS ${BV_CHANGELOG})

install(FILES README.md ${BV_CHANGELOG} packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The sample project, as a user copies it and builds it where it is.
install(FILES packaging/sample/SAMPLE.INI DESTINATION ${CMAKE_INSTALL_DOCDIR}/sample)
install(DIRECTORY sample/product/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/sample/product)
if(BV_WIN32_BIN)
  install(FILES ${BV_WIN32_BIN}/sample/HELLO.EXE DESTINATION ${CMAKE_INSTALL_DOCDIR}/sample/product)
endif()

set(CPACK_PACKAGE_DESCRIPTION
    "bvpack packs a product into archive volumes sized for diskettes, with the\n"
    "Win32 installer SETUP.EXE (bvunpack) that installs them on any 32-bit\n"
    "Windows from Windows 95 and NT 3.51 on, and writes diskette images.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mtools")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BV_MAINTAINER}")
set(CPACK_PACKAGE_CONTACT "${BV_MAINTAINER}")
include(CPack)

# The man page shows what --help shows; the kit installed into a prefix and
# moved elsewhere packs a release with its own installer. (The installer
# comes from the Win32 build: without it, only the man page is checked.)
add_test(NAME man_page_shows_help
  COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/man_page_test.sh $<TARGET_FILE:bvpack> ${BV_MAN_PAGE}.gz)
if(BV_WIN32_BIN)
  add_test(NAME installed_kit_init_build
    COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
            ${BV_WIN32_BIN}/installer/bvunpack.exe ${CMAKE_BINARY_DIR}/install-test)
endif()
