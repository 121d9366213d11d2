# Run by CPack after it made the .deb (CPACK_POST_BUILD_SCRIPTS): sets Installed-Size to what
# the package's files take, the way dpkg-gencontrol counts it: every regular file its size in
# KiB rounded up, every other entry (directory, link) 1 KiB. CPack counts a link with its
# target's size and each directory as 4 KiB. The package is unpacked with dpkg-deb, its
# control file corrected and the package built again; without dpkg-deb it stays as it is.
find_program(_dpkg_deb dpkg-deb)
if(NOT _dpkg_deb)
  message(WARNING "dpkg-deb not found: Installed-Size is left as CPack counted it")
  return()
endif()

foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT _deb MATCHES "\\.deb$")
    continue()
  endif()
  set(_tree "${_deb}.tree")
  file(REMOVE_RECURSE "${_tree}")
  execute_process(COMMAND "${_dpkg_deb}" --raw-extract "${_deb}" "${_tree}"
    RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --raw-extract ${_deb} failed: ${_result}")
  endif()

  file(GLOB_RECURSE _entries LIST_DIRECTORIES true RELATIVE "${_tree}" "${_tree}/*")
  set(_kib 0)
  foreach(_entry IN LISTS _entries)
    if(_entry MATCHES "^DEBIAN(/|$)")
      continue()
    endif()
    if(IS_SYMLINK "${_tree}/${_entry}" OR IS_DIRECTORY "${_tree}/${_entry}")
      math(EXPR _kib "${_kib} + 1")
    else()
      file(SIZE "${_tree}/${_entry}" _bytes)
      math(EXPR _kib "${_kib} + (${_bytes} + 1023) / 1024")
    endif()
  endforeach()

  file(READ "${_tree}/DEBIAN/control" _control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${_kib}\n" _control
    "${_control}")
  file(WRITE "${_tree}/DEBIAN/control" "${_control}")
  execute_process(COMMAND "${_dpkg_deb}" --root-owner-group --build "${_tree}" "${_deb}"
    OUTPUT_QUIET RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --build ${_tree} failed: ${_result}")
  endif()
  file(REMOVE_RECURSE "${_tree}")
  message(STATUS "Installed-Size of ${_deb}: ${_kib} KiB")
endforeach()
