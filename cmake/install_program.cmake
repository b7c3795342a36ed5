# korvane_install_program(<target> COMPONENT <component>)
# Installs a program built for this machine into the prefix's bin folder.
# When the install strips (cpack, or `cmake --install --strip`), the program
# also loses its .comment and .note sections, which only name the compiler
# and are no use to a user, as the distribution's own packages are stripped.
function(korvane_install_program target)
  cmake_parse_arguments(P "" "COMPONENT" "" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${P_COMPONENT})
  set(installed "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>")
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(
        COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note \"${installed}\"
        RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"could not strip ${installed}\")
      endif()
    endif()"
    COMPONENT ${P_COMPONENT})
endfunction()

# Folders an install makes are the same whatever the umask, so that the
# packages are too.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
