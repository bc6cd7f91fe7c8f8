# How a program of the project is built.
#
# The packages that the programs beyond the library build on are looked for
# once, here. A program names those it needs, by the names below; without
# one it is left out (or, where the tests are built, which drive every
# program, the configuration fails), and its CMakeLists.txt ends there:
#
#   ravenlink_program_needs(ravenlinkfoo CLI11 libmosquitto)
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

# Each package: the variable that says it was found, and its Debian package.
set(ravenlink_package_CLI11 CLI11_FOUND libcli11-dev)
set(ravenlink_package_libmosquitto MOSQUITTO_FOUND libmosquitto-dev)
set(ravenlink_package_OpenSSL OPENSSL_FOUND libssl-dev)
set(ravenlink_package_cpp-httplib HTTPLIB_FOUND libcpp-httplib-dev)
set(ravenlink_package_libsystemd SYSTEMD_FOUND libsystemd-dev)

# "a", "a and b", "a, b and c" (\p word "and" or "or").
function(ravenlink_listed out word)
  set(items ${ARGN})
  list(LENGTH items count)
  if(count GREATER 1)
    list(POP_BACK items last)
    list(JOIN items ", " text)
    string(APPEND text " ${word} ${last}")
  else()
    set(text "${items}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Sets \p result to TRUE when one of the packages is missing, and says so.
function(ravenlink_lacks result program)
  set(lacks FALSE)
  set(debian)
  foreach(package IN LISTS ARGN)
    list(GET ravenlink_package_${package} 0 found)
    list(GET ravenlink_package_${package} 1 debian_package)
    list(APPEND debian ${debian_package})
    if(NOT ${found})
      set(lacks TRUE)
    endif()
  endforeach()
  if(lacks)
    ravenlink_listed(all and ${ARGN})
    ravenlink_listed(any or ${ARGN})
    list(JOIN debian ", " debian_text)
    list(LENGTH debian count)
    if(count GREATER 1)
      set(debian_text "Debian packages ${debian_text}")
    else()
      set(debian_text "Debian package ${debian_text}")
    endif()
    # Builds that only fuzz the library do not need the program.
    if(RAVENLINK_BUILD_TESTS)
      message(FATAL_ERROR "${program} needs ${all} (${debian_text})")
    endif()
    message(STATUS "${any} not found: ${program} is left out")
  endif()
  set(${result} ${lacks} PARENT_SCOPE)
endfunction()

# A macro, so that its return() ends the program's CMakeLists.txt.
macro(ravenlink_program_needs program)
  ravenlink_lacks(ravenlink_program_lacks ${program} ${ARGN})
  if(ravenlink_program_lacks)
    return()
  endif()
endmacro()

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
