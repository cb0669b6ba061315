# widl needs the system IDL files (oaidl.idl, ocidl.idl, comcat.idl) to import; Debian ships
# them in libwine-dev. When that package is not installed we unpack it into the build tree
# (apt-get download, no installation), as we do with other build-time inputs.
function(find_wine_idl out_var)
  foreach(dir /usr/include/wine/wine/windows /usr/include/wine/windows
              ${CMAKE_BINARY_DIR}/ext/libwine-dev/usr/include/wine/wine/windows)
    if(EXISTS ${dir}/oaidl.idl AND EXISTS ${dir}/comcat.idl)
      set(${out_var} ${dir} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(work ${CMAKE_BINARY_DIR}/ext/libwine-dev)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  message(STATUS "Fetching the system IDL files (Debian package libwine-dev)")
  execute_process(COMMAND apt-get download libwine-dev WORKING_DIRECTORY ${work}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    # A machine whose package lists were never read.
    execute_process(COMMAND apt-get update -q OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND apt-get download libwine-dev WORKING_DIRECTORY ${work}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  endif()
  file(GLOB debs ${work}/libwine-dev_*.deb)
  if(NOT rc EQUAL 0 OR NOT debs)
    message(FATAL_ERROR "Cannot get libwine-dev for the system IDL files: ${err}")
  endif()
  list(GET debs 0 deb)
  execute_process(COMMAND dpkg-deb -x ${deb} ${work} RESULT_VARIABLE rc)
  file(REMOVE ${deb})
  set(dir ${work}/usr/include/wine/wine/windows)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${dir}/oaidl.idl)
    message(FATAL_ERROR "libwine-dev did not unpack the IDL files into ${dir}")
  endif()
  set(${out_var} ${dir} PARENT_SCOPE)
endfunction()
