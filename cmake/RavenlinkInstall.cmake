# How a program of the project is installed and packaged.
#
# Each program's CMakeLists.txt installs its own files, right after
# add_executable:
#
#   ravenlink_install_program(ravenlinkfoo
#     MAN ravenlinkfoo.1                          # man source, section from the suffix
#     COMPLETION ravenlinkfoo.bash-completion)    # optional
#
# The program goes to bin/, the manual page (compressed at build time, as
# Debian wants it) to share/man/manN/, and the bash completion to
# share/bash-completion/completions/ under the program's name. All of it is
# the component "tools", which is the Debian package "ravenlink"; headers,
# library, CMake and pkg-config files are the component "dev", the package
# "libravenlink-dev". Other files of a program (a configuration example, a
# systemd unit) join with install(... COMPONENT tools). Every installed
# program needs a manual page: the package check (lintian) asks for one.
#
# Under add_subdirectory, and with RAVENLINK_INSTALL=OFF, nothing is installed.
function(ravenlink_install_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MAN;COMPLETION" "")
  if(NOT RAVENLINK_INSTALL)
    return()
  endif()
  if(NOT arg_MAN)
    message(FATAL_ERROR "ravenlink_install_program(${target}): a program needs its manual page (MAN)")
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

  get_filename_component(man_source ${arg_MAN} ABSOLUTE)
  get_filename_component(man_name ${arg_MAN} NAME)
  string(REGEX MATCH "[0-9]$" man_section "${man_name}")
  if(NOT man_section)
    message(FATAL_ERROR "ravenlink_install_program(${target}): ${arg_MAN} has no section suffix such as .1")
  endif()
  # The page's footer names the version of the project, whatever the source
  # says; gzip -n keeps the time stamp out, so the same page gives the same
  # package.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${man_source})
  file(READ ${man_source} man_text)
  string(REGEX REPLACE "\"Ravenlink [0-9.]+\"" "\"Ravenlink ${PROJECT_VERSION}\"" man_text "${man_text}")
  set(man_page ${CMAKE_CURRENT_BINARY_DIR}/${man_name})
  file(WRITE ${man_page}.new "${man_text}")
  configure_file(${man_page}.new ${man_page} COPYONLY)
  set(man_gz ${man_page}.gz)
  add_custom_command(OUTPUT ${man_gz}
    COMMAND gzip -9 -n -c ${man_page} > ${man_gz}
    DEPENDS ${man_page}
    COMMENT "Compressing the manual page ${man_name}")
  add_custom_target(${target}_man ALL DEPENDS ${man_gz})
  install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${man_section} COMPONENT tools)

  if(arg_COMPLETION)
    install(FILES ${arg_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME ${target} COMPONENT tools)
  endif()
endfunction()
