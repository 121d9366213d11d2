# Installation layout and the Debian package.
#
#   <prefix>/lib/quenfar/quenfar          the program
#   <prefix>/bin/quenfar               -> ../lib/quenfar/quenfar
#   <prefix>/bin/quenfar-msgdump          the reader of stored messages (msgdump in the build)
#   <prefix>/lib/quenfar/quenfar.cfg   -> /etc/quenfar/quenfar.cfg
#   <prefix>/share/man/man1/quenfar.1.gz, quenfar-msgdump.1.gz
#   <prefix>/share/doc/quenfar/           README.md, copyright, changelog.gz, examples/
#   /etc/quenfar/quenfar.cfg              the settings (a conffile in the package)
#   /etc/logrotate.d/quenfar              the log's rotation (a conffile in the package)
#
# The program reads quenfar.cfg beside its real file (through /proc/self/exe), so the link
# in lib/quenfar is what makes it find the settings in /etc, and bin/quenfar only has to be a
# link for the program to resolve its own directory.

if(WIN32)
  return()
endif()

include(GNUInstallDirs)

# Hardening of what is installed: Debian's build flags (dpkg-buildflags with every hardening
# feature: stack protector, format checks, _FORTIFY_SOURCE, read-only relocations bound at
# start), or the same set where dpkg-dev is missing. The build type keeps deciding -O and -g,
# and _FORTIFY_SOURCE, which needs the optimiser, is left out of Debug builds. They go to
# every target of the folders the program and msgdump are linked from, not to the tests
# and benchmarks.
option(QUENFAR_HARDENING "Build the program and msgdump with Debian's hardening flags" ON)
if(QUENFAR_HARDENING AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  find_program(QUENFAR_DPKG_BUILDFLAGS dpkg-buildflags)
  mark_as_advanced(QUENFAR_DPKG_BUILDFLAGS)
  set(_hardening_compile -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat
    -Werror=format-security)
  set(_hardening_link -Wl,-z,relro -Wl,-z,now)
  if(QUENFAR_DPKG_BUILDFLAGS)
    set(_hardening_compile "")
    set(_hardening_link "")
    foreach(_kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
        ${QUENFAR_DPKG_BUILDFLAGS} --get ${_kind}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE)
      separate_arguments(_flags UNIX_COMMAND "${_flags}")
      list(FILTER _flags EXCLUDE REGEX "^-(O.*|g.*)$")
      if(_kind STREQUAL LDFLAGS)
        list(APPEND _hardening_link ${_flags})
      else()
        list(APPEND _hardening_compile ${_flags})
      endif()
    endforeach()
  endif()
  # Shown as this build applies them, before the Debug exception becomes an expression.
  set(_hardening_shown ${_hardening_compile} ${_hardening_link})
  if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    list(FILTER _hardening_shown EXCLUDE REGEX "^-D_FORTIFY_SOURCE=")
  endif()
  list(JOIN _hardening_shown " " _hardening_shown)
  list(TRANSFORM _hardening_compile
    REPLACE "^(-D_FORTIFY_SOURCE=.*)$" "$<$<NOT:$<CONFIG:Debug>>:\\1>")
  get_property(_folders DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
  list(FILTER _folders EXCLUDE REGEX "/(tests|bench)$")
  foreach(_folder IN LISTS _folders)
    get_property(_targets DIRECTORY ${_folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(_target IN LISTS _targets)
      get_target_property(_type ${_target} TYPE)
      if(_type STREQUAL STATIC_LIBRARY OR _type STREQUAL EXECUTABLE)
        target_compile_options(${_target} PRIVATE ${_hardening_compile})
      endif()
      if(_type STREQUAL EXECUTABLE)
        target_link_options(${_target} PRIVATE ${_hardening_link})
      endif()
    endforeach()
  endforeach()
  message(STATUS "Hardening: ${_hardening_shown}")
endif()

set(QUENFAR_CONFIG_DIR /etc/quenfar CACHE PATH
  "Directory of quenfar.cfg that <prefix>/lib/quenfar/quenfar.cfg links to")

set(_quenfar_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quenfar)
set(_quenfar_examples
  doc/examples/quenfar.cfg
  doc/examples/areas.lst
  doc/examples/events.lst
  doc/examples/links.lst
  doc/examples/binkd-exec.cfg
  doc/examples/crontab
  doc/examples/quenfar.service
  doc/examples/quenfar.timer
  doc/examples/logrotate)
list(TRANSFORM _quenfar_examples PREPEND ${PROJECT_SOURCE_DIR}/)

# The program lives in lib/quenfar rather than the multiarch libdir: the directory belongs to
# it alone, since everything beside it is read as its settings.
install(TARGETS quenfar RUNTIME DESTINATION lib/quenfar)
# msgdump reads no settings, so it lives in bin itself, under a name that says whose it is.
install(PROGRAMS $<TARGET_FILE:msgdump> DESTINATION bin RENAME quenfar-msgdump)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${_quenfar_docdir})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${_quenfar_docdir} RENAME copyright)
install(FILES ${_quenfar_examples} DESTINATION ${_quenfar_docdir}/examples)

# Links, the notes stripped off the programs, the compressed man pages and changelog, the
# settings and the log rotation: done at install time so that they follow
# `cmake --install --prefix` and DESTDIR (which CPack sets to its staging directory).
install(CODE "
  set(_source \"${PROJECT_SOURCE_DIR}\")
  set(_config_dir \"${QUENFAR_CONFIG_DIR}\")
  set(_mandir \"${CMAKE_INSTALL_MANDIR}\")
  set(_docdir \"${_quenfar_docdir}\")
  set(_strip \"${CMAKE_STRIP}\")
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

  # A stripped install (`cmake --install --strip`, and so the package) also drops the
  # compiler's notes, which nothing reads at run time. msgdump, installed as a plain
  # program, is stripped here as well.
  if(CMAKE_INSTALL_DO_STRIP AND _strip)
    foreach(_program "${_lib}/quenfar" "${_bin}/quenfar-msgdump")
      message(STATUS "Stripping: ${_program}")
      execute_process(COMMAND "${_strip}" --remove-section=.comment --remove-section=.note
        "${_program}" RESULT_VARIABLE _strip_result)
      if(NOT _strip_result EQUAL 0)
        message(FATAL_ERROR "strip of ${_program} failed: ${_strip_result}")
      endif()
    endforeach()
  endif()

  # gzip -n: no name or time stamp, so the package is the same from build to build.
  if(IS_ABSOLUTE "${_docdir}")
    set(_doc "${_root}${_docdir}")
  else()
    set(_doc "${_root}${CMAKE_INSTALL_PREFIX}/${_docdir}")
  endif()
  file(MAKE_DIRECTORY "${_doc}")
  foreach(_page "doc/quenfar.1;${_man1}/quenfar.1.gz"
      "doc/quenfar-msgdump.1;${_man1}/quenfar-msgdump.1.gz" "doc/changelog;${_doc}/changelog.gz")
    list(GET _page 0 _from)
    list(GET _page 1 _to)
    message(STATUS "Installing: ${_to}")
    execute_process(COMMAND gzip -9 -n -c "${_source}/${_from}"
      OUTPUT_FILE "${_to}" RESULT_VARIABLE _gzip_result)
    if(NOT _gzip_result EQUAL 0)
      message(FATAL_ERROR "gzip of ${_from} failed: ${_gzip_result}")
    endif()
  endforeach()

  # An operator's settings and log rotation are never replaced by a later
  # `cmake --install`; the package leaves that decision to dpkg's conffile handling.
  # logrotate reads /etc/logrotate.d whatever the prefix.
  foreach(_conf "doc/examples/quenfar.cfg;${_etc}/quenfar.cfg"
      "doc/examples/logrotate;${_root}/etc/logrotate.d/quenfar")
    list(GET _conf 0 _from)
    list(GET _conf 1 _to)
    if(EXISTS "${_to}")
      message(STATUS "Up-to-date: ${_to} (kept as it is)")
    else()
      message(STATUS "Installing: ${_to}")
      get_filename_component(_to_dir "${_to}" DIRECTORY)
      file(MAKE_DIRECTORY "${_to_dir}")
      configure_file("${_source}/${_from}" "${_to}" COPYONLY)
      file(CHMOD "${_to}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
  endforeach()
]])

# The Debian package. Whoever publishes it names themselves and its home here; lintian wants
# an address that can receive mail.
set(QUENFAR_PACKAGE_MAINTAINER "quenfar maintainers <quenfar@example.org>" CACHE STRING
  "Maintainer field of the Debian package (also in doc/changelog)")
set(QUENFAR_PACKAGE_HOMEPAGE "https://quenfar.example.org/" CACHE STRING
  "Homepage field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenfar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUENFAR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file-echo processor (TIC tosser) for FidoNet nodes")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
# Staging through DESTDIR keeps the absolute /etc destination inside the package; the
# prefix is then CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package holds the program and msgdump alone: `make package` builds those two, and
# installing must not build every test and benchmark first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENFAR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUENFAR_PACKAGE_HOMEPAGE}")
# The summary above is the first line of the description; these lines follow it, each
# well inside the 80 columns that a package manager shows.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "quenfar takes the .tic control files that a mailer such as binkd received,
moves each file into its file-echo area, keeps the areas' files.bbs
description lists, writes a log, runs the operator's events and stores a
netmail message (FTS-0001) announcing what arrived. Start it after each mail
session or from a timer. quenfar-msgdump shows a stored message readably.")
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

# Maintainer files. The conffiles are the settings and the log rotation. The log directory
# of the shipped settings is made on configure and belongs to binkd's user "ftn", whom
# quenfar runs as: when binkd comes after quenfar, the file trigger on its program runs the
# postinst again once the user exists. A directory the package made is still root's; one
# that the sysop gave to someone else is left so. Purge removes the log files quenfar and
# logrotate write and the directory when that leaves it empty, nothing a sysop put there.
set(_debian_dir ${CMAKE_CURRENT_BINARY_DIR}/debian)
file(WRITE ${_debian_dir}/conffiles
  "${QUENFAR_CONFIG_DIR}/quenfar.cfg\n/etc/logrotate.d/quenfar\n")
file(WRITE ${_debian_dir}/triggers "interest-noawait /usr/sbin/binkd\n")
file(WRITE ${_debian_dir}/postinst [[#!/bin/sh
set -e
log_dir=/var/log/quenfar
give_log_dir() {
  if [ -d "$log_dir" ] && [ "$(stat -c %u:%g "$log_dir")" = 0:0 ] &&
    getent passwd ftn >/dev/null 2>&1 && getent group ftn >/dev/null 2>&1; then
    chown ftn:ftn "$log_dir"
  fi
}
case "$1" in
  configure)
    [ -d "$log_dir" ] || install -d -m 0755 "$log_dir"
    give_log_dir
    ;;
  triggered)
    give_log_dir
    ;;
esac
exit 0
]])
file(WRITE ${_debian_dir}/postrm [[#!/bin/sh
set -e
log_dir=/var/log/quenfar
if [ "$1" = purge ] && [ -d "$log_dir" ]; then
  rm -f "$log_dir"/quenfar.log "$log_dir"/quenfar.log.[0-9]*
  rmdir --ignore-fail-on-non-empty "$log_dir"
fi
exit 0
]])
file(CHMOD ${_debian_dir}/postinst ${_debian_dir}/postrm
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${_debian_dir}/conffiles;${_debian_dir}/triggers;${_debian_dir}/postinst;${_debian_dir}/postrm")

# What lintian reports only when asked for everything, answered. The program and msgdump
# are compiled with _FORTIFY_SOURCE (see the hardening above), yet every libc call they make
# that has a checked variant (read, pread, readlink, getcwd) gets a buffer whose size
# the compiler cannot see, so none is turned into its __*_chk form. "File proceded N" is the
# last line of the announcement as the software that reads it expects it.
file(WRITE ${_debian_dir}/lintian-overrides [[
# Built with _FORTIFY_SOURCE; no libc call has a buffer of a size known when compiling.
quenfar: hardening-no-fortify-functions [usr/bin/quenfar-msgdump]
quenfar: hardening-no-fortify-functions [usr/lib/quenfar/quenfar]
# The last line of the announcement is spelt the way its readers expect it.
quenfar: spelling-error-in-binary proceded proceeded [usr/lib/quenfar/quenfar]
]])
install(FILES ${_debian_dir}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME quenfar)

# CPack counts a link with the size of its target and every directory as 4 KiB, which
# makes Installed-Size nearly twice the truth here; the package is rebuilt with the size
# dpkg-gencontrol would give.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-installed-size.cmake)

include(CPack)
