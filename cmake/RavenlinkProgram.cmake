# How a program of the project is built.
#
# The packages that the programs beyond the library build on are looked for
# once, here; a program that lacks one is left out (or, where the tests are
# built, which drive every program, the configuration fails):
#
#   ravenlink_program_needs(found ravenlinkfoo
#     "ravenlinkfoo needs CLI11 (Debian package libcli11-dev)"
#     "CLI11 not found: ravenlinkfoo is left out"
#     CLI11_FOUND)
#   if(NOT found)
#     return()
#   endif()
#
# A program is a core library and main(): everything but main() in a static
# library, which the tests link to check the program in-process, and the
# executable from main() on it, both with the project's warnings and the
# same compile definitions:
#
#   ravenlink_add_program(ravenlinkfoo
#     CORE RavenlinkFooCore                     # the static library
#     MAIN src/main.cpp
#     INCLUDE src                               # the core's public include folder
#     DEFINITIONS RAVENLINKFOO_VERSION="${PROJECT_VERSION}"
#     SOURCES src/Foo.cpp src/Bar.cpp)
#
# What the core links is the program's own to add (target_link_libraries,
# keyword form).
find_package(CLI11 CONFIG QUIET)
find_package(PkgConfig QUIET)
# OpenSSL: the TLS context that checks the broker's certificate is our own.
find_package(OpenSSL QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(MOSQUITTO QUIET IMPORTED_TARGET GLOBAL libmosquitto)
  # Debian builds the library's implementation once, as a shared library;
  # its compile definitions (TLS, compression) must match that build.
  pkg_check_modules(HTTPLIB QUIET IMPORTED_TARGET GLOBAL cpp-httplib)
  # The service manager's readiness and watchdog notifications.
  pkg_check_modules(SYSTEMD QUIET IMPORTED_TARGET GLOBAL libsystemd)
endif()

function(ravenlink_program_needs result program needs left_out)
  set(${result} TRUE PARENT_SCOPE)
  foreach(found IN LISTS ARGN)
    if(NOT ${found})
      # Builds that only fuzz the library do not need the program.
      if(RAVENLINK_BUILD_TESTS)
        message(FATAL_ERROR "${needs}")
      endif()
      message(STATUS "${left_out}")
      set(${result} FALSE PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

function(ravenlink_add_program program)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "CORE;MAIN;INCLUDE" "SOURCES;DEFINITIONS")
  add_library(${arg_CORE} STATIC ${arg_SOURCES})
  target_include_directories(${arg_CORE} PUBLIC ${arg_INCLUDE})
  target_compile_features(${arg_CORE} PUBLIC cxx_std_17)
  target_compile_definitions(${arg_CORE} PRIVATE ${arg_DEFINITIONS})
  target_link_libraries(${arg_CORE} PRIVATE ravenlink_warnings)
  add_executable(${program} ${arg_MAIN})
  target_compile_definitions(${program} PRIVATE ${arg_DEFINITIONS})
  target_link_libraries(${program} PRIVATE ${arg_CORE} ravenlink_warnings)
endfunction()
