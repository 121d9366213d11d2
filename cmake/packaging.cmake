# Installation layout and the Debian package.
#
#   <prefix>/lib/quenfar/quenfar          the program
#   <prefix>/bin/quenfar               -> ../lib/quenfar/quenfar
#   <prefix>/lib/quenfar/quenfar.cfg   -> /etc/quenfar/quenfar.cfg
#   <prefix>/share/man/man1/quenfar.1.gz
#   <prefix>/share/doc/quenfar/           README.md, copyright, examples/
#   /etc/quenfar/quenfar.cfg              the settings (a conffile in the package)
#
# The program reads quenfar.cfg beside its real file (through /proc/self/exe), so the link
# in lib/quenfar is what makes it find the settings in /etc, and bin/quenfar only has to be a
# link for the program to resolve its own directory.

if(WIN32)
  return()
endif()

include(GNUInstallDirs)

set(QUENFAR_CONFIG_DIR /etc/quenfar CACHE PATH
  "Directory of quenfar.cfg that <prefix>/lib/quenfar/quenfar.cfg links to")

set(_quenfar_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quenfar)
set(_quenfar_examples
  doc/examples/quenfar.cfg
  doc/examples/areas.lst
  doc/examples/events.lst
  doc/examples/binkd-exec.cfg
  doc/examples/crontab
  doc/examples/quenfar.service
  doc/examples/quenfar.timer
  doc/examples/logrotate)
list(TRANSFORM _quenfar_examples PREPEND ${PROJECT_SOURCE_DIR}/)

# The program lives in lib/quenfar rather than the multiarch libdir: the directory belongs to
# it alone, since everything beside it is read as its settings.
install(TARGETS quenfar RUNTIME DESTINATION lib/quenfar)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${_quenfar_docdir})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${_quenfar_docdir} RENAME copyright)
install(FILES ${_quenfar_examples} DESTINATION ${_quenfar_docdir}/examples)

# Links, the compressed man page and the settings file: done at install time so that they
# follow `cmake --install --prefix` and DESTDIR (which CPack sets to its staging directory).
install(CODE "
  set(_source \"${PROJECT_SOURCE_DIR}\")
  set(_config_dir \"${QUENFAR_CONFIG_DIR}\")
  set(_mandir \"${CMAKE_INSTALL_MANDIR}\")
")
install(CODE [[
  set(_root "$ENV{DESTDIR}")
  if(IS_ABSOLUTE "${_mandir}")
    set(_man1 "${_root}${_mandir}/man1")
  else()
    set(_man1 "${_root}${CMAKE_INSTALL_PREFIX}/${_mandir}/man1")
  endif()
  set(_bin "${_root}${CMAKE_INSTALL_PREFIX}/bin")
  set(_lib "${_root}${CMAKE_INSTALL_PREFIX}/lib/quenfar")
  set(_etc "${_root}${_config_dir}")

  file(MAKE_DIRECTORY "${_bin}" "${_man1}" "${_etc}")
  message(STATUS "Installing: ${_bin}/quenfar -> ../lib/quenfar/quenfar")
  file(CREATE_LINK ../lib/quenfar/quenfar "${_bin}/quenfar" SYMBOLIC)
  message(STATUS "Installing: ${_lib}/quenfar.cfg -> ${_config_dir}/quenfar.cfg")
  file(CREATE_LINK "${_config_dir}/quenfar.cfg" "${_lib}/quenfar.cfg" SYMBOLIC)

  # gzip -n: no name or time stamp, so the package is the same from build to build.
  message(STATUS "Installing: ${_man1}/quenfar.1.gz")
  execute_process(COMMAND gzip -9 -n -c "${_source}/doc/quenfar.1"
    OUTPUT_FILE "${_man1}/quenfar.1.gz" RESULT_VARIABLE _gzip_result)
  if(NOT _gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip of the man page failed: ${_gzip_result}")
  endif()

  # An operator's settings are never replaced by a later `cmake --install`; the package
  # leaves that decision to dpkg's conffile handling.
  if(EXISTS "${_etc}/quenfar.cfg")
    message(STATUS "Up-to-date: ${_etc}/quenfar.cfg (kept as it is)")
  else()
    message(STATUS "Installing: ${_etc}/quenfar.cfg")
    file(COPY "${_source}/doc/examples/quenfar.cfg" DESTINATION "${_etc}"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
]])

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenfar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "quenfar developers <quenfar@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file-echo processor (TIC tosser) for FidoNet nodes")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
# Staging through DESTDIR keeps the absolute /etc destination inside the package; the
# prefix is then CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "quenfar developers <quenfar@localhost>")
# The summary above is the first line of the description; these lines follow it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "quenfar takes the .tic control files that a mailer such as binkd received, moves
each file into its file-echo area, keeps the areas' files.bbs description lists,
writes a log, runs the operator's events and stores a netmail message (FTS-0001)
announcing what arrived. Start it after each mail session or from a timer.")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "binkd, crashmail")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# dpkg-shlibdeps (dpkg-dev) and file(1) compute the dependencies; without them the package
# names the two libraries the program links.
find_program(QUENFAR_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(QUENFAR_FILE_COMMAND file)
mark_as_advanced(QUENFAR_DPKG_SHLIBDEPS QUENFAR_FILE_COMMAND)
if(QUENFAR_DPKG_SHLIBDEPS AND QUENFAR_FILE_COMMAND)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
endif()

# Maintainer files: the settings as a conffile, the log directory of the shipped settings
# (handed to binkd's user "ftn" when it exists, since quenfar runs as the mailer's user), and
# its removal on purge.
set(_debian_dir ${CMAKE_CURRENT_BINARY_DIR}/debian)
file(WRITE ${_debian_dir}/conffiles "${QUENFAR_CONFIG_DIR}/quenfar.cfg\n")
file(WRITE ${_debian_dir}/postinst [[#!/bin/sh
set -e
if [ "$1" = configure ] && [ ! -d /var/log/quenfar ]; then
  install -d -m 0755 /var/log/quenfar
  if getent passwd ftn >/dev/null 2>&1; then
    chown ftn:ftn /var/log/quenfar
  fi
fi
exit 0
]])
file(WRITE ${_debian_dir}/postrm [[#!/bin/sh
set -e
if [ "$1" = purge ]; then
  rm -rf /var/log/quenfar
fi
exit 0
]])
file(CHMOD ${_debian_dir}/postinst ${_debian_dir}/postrm
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${_debian_dir}/conffiles;${_debian_dir}/postinst;${_debian_dir}/postrm")

include(CPack)
