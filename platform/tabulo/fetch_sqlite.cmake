# Fetches the pinned npm package with the SQLite amalgamation into DIR and unpacks its deps/.
# Run as: cmake -DDIR=... -DPACKAGE=name@version -DSHA256=... -P fetch_sqlite.cmake
file(MAKE_DIRECTORY ${DIR})
string(REGEX REPLACE "^(.*)@(.*)$" "\\1-\\2.tgz" tarball ${PACKAGE})
if(NOT EXISTS ${DIR}/${tarball})
  execute_process(COMMAND npm pack ${PACKAGE} --silent --pack-destination ${DIR}
                  WORKING_DIRECTORY ${DIR} RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${DIR}/${tarball})
    message(FATAL_ERROR "npm pack ${PACKAGE} failed (${rc})")
  endif()
endif()
file(SHA256 ${DIR}/${tarball} actual)
if(NOT actual STREQUAL SHA256)
  file(REMOVE ${DIR}/${tarball})
  message(FATAL_ERROR "${tarball}: checksum ${actual}, expected ${SHA256}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball} package/deps/sqlite3
                WORKING_DIRECTORY ${DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "unpacking ${tarball} failed")
endif()
