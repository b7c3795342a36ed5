# SQLite's source, which the Windows station compiles in. Debian ships no
# SQLite amalgamation, so the configure fetches it once, by package name
# with npm (the registry is npm's own setting), from the pinned version of a
# package that carries it, checked against the package's digest, and keeps
# sqlite3.c and sqlite3.h in KORVANE_SQLITE_SOURCE_DIR (the build tree
# unless given). A folder that already holds both is used as it is.
set(KORVANE_SQLITE_VERSION 3.53.2)
set(KORVANE_SQLITE_PACKAGE better-sqlite3)
set(KORVANE_SQLITE_PACKAGE_VERSION 12.11.1)
set(KORVANE_SQLITE_PACKAGE_SHA256 ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835)

# korvane_sqlite_source(<dir> <why>)
# Makes sure <dir> holds sqlite3.c and sqlite3.h, fetching them there when
# it does not; on failure sets <why> to the reason, else empties it.
function(korvane_sqlite_source dir why)
  set(${why} "" PARENT_SCOPE)
  if(EXISTS ${dir}/sqlite3.c AND EXISTS ${dir}/sqlite3.h)
    return()
  endif()
  set(package ${KORVANE_SQLITE_PACKAGE}@${KORVANE_SQLITE_PACKAGE_VERSION})
  find_program(KORVANE_NPM npm)
  if(NOT KORVANE_NPM)
    set(${why} "npm, which fetches it (${package}), not found" PARENT_SCOPE)
    return()
  endif()
  # npm's cache and logs stay in the fetch folder, not in the home of
  # whoever configures, and go with it.
  set(fetch ${CMAKE_BINARY_DIR}/sqlite_fetch)
  file(REMOVE_RECURSE ${fetch})
  file(MAKE_DIRECTORY ${fetch})
  message(STATUS "Fetching SQLite ${KORVANE_SQLITE_VERSION}'s source: npm pack ${package}")
  execute_process(
    COMMAND ${KORVANE_NPM} pack ${package} --cache ${fetch}/npm-cache --ignore-scripts --no-update-notifier
            --loglevel=error
    WORKING_DIRECTORY ${fetch}
    RESULT_VARIABLE rc
    OUTPUT_QUIET
    ERROR_VARIABLE err
    TIMEOUT 600)
  set(tgz ${fetch}/${KORVANE_SQLITE_PACKAGE}-${KORVANE_SQLITE_PACKAGE_VERSION}.tgz)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${tgz})
    # npm's first line of complaint, if it gave one.
    string(REGEX REPLACE "\n.*" "" err "${err}")
    if(err)
      set(err ": ${err}")
    endif()
    file(REMOVE_RECURSE ${fetch})
    set(${why} "npm pack ${package} failed (${rc})${err}" PARENT_SCOPE)
    return()
  endif()
  file(SHA256 ${tgz} digest)
  if(NOT digest STREQUAL KORVANE_SQLITE_PACKAGE_SHA256)
    file(REMOVE_RECURSE ${fetch})
    set(${why} "${package} is not the package pinned: its SHA-256 is ${digest}" PARENT_SCOPE)
    return()
  endif()
  file(ARCHIVE_EXTRACT INPUT ${tgz} DESTINATION ${fetch}/package
       PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  # Each file is copied under a temporary name and renamed, so that a
  # configure cut short leaves no half file behind that would pass for
  # the whole one.
  file(MAKE_DIRECTORY ${dir})
  foreach(name sqlite3.h sqlite3.c)
    file(COPY_FILE ${fetch}/package/package/deps/sqlite3/${name} ${dir}/${name}.part)
    file(RENAME ${dir}/${name}.part ${dir}/${name})
  endforeach()
  file(REMOVE_RECURSE ${fetch})
endfunction()
