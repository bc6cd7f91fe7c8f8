# The serial library as the imported target Ravenlink::cxx_serial, for this
# project and for the installed package configuration alike.
#
# Debian's libcxx-serial-dev ships a config file, but it defines no target,
# names no include directory (its header lies in /usr/include) and does not
# define HAVE_STDINT_H, without which serial.h does not compile. So the header
# and the library are found by hand, and this target is the one place that
# says HAVE_STDINT_H. The library links Threads::Threads: the caller has
# found Threads before.
if(NOT TARGET Ravenlink::cxx_serial)
  find_path(RAVENLINK_SERIAL_INCLUDE_DIR serial.h)
  find_library(RAVENLINK_SERIAL_LIBRARY cxx-serial)
  mark_as_advanced(RAVENLINK_SERIAL_INCLUDE_DIR RAVENLINK_SERIAL_LIBRARY)
  if(RAVENLINK_SERIAL_INCLUDE_DIR AND RAVENLINK_SERIAL_LIBRARY)
    add_library(Ravenlink::cxx_serial UNKNOWN IMPORTED)
    set_target_properties(Ravenlink::cxx_serial PROPERTIES
      IMPORTED_LOCATION "${RAVENLINK_SERIAL_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${RAVENLINK_SERIAL_INCLUDE_DIR}"
      INTERFACE_COMPILE_DEFINITIONS HAVE_STDINT_H
      INTERFACE_LINK_LIBRARIES Threads::Threads)
  endif()
endif()
