# What an integrator finds after installing: the CMake package
# (find_package(Ravenlink)), the pkg-config file (ravenlink.pc), and the
# Debian packages that cpack -G DEB makes of the whole install.

include(CMakePackageConfigHelpers)

set(RAVENLINK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Ravenlink)
install(EXPORT RavenlinkTargets NAMESPACE Ravenlink:: DESTINATION ${RAVENLINK_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/RavenlinkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RavenlinkConfig.cmake
  INSTALL_DESTINATION ${RAVENLINK_CMAKE_DIR})
# 1.x promises the 1.0 interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RavenlinkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/RavenlinkConfig.cmake
  ${PROJECT_BINARY_DIR}/RavenlinkConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/RavenlinkSerial.cmake
  DESTINATION ${RAVENLINK_CMAKE_DIR} COMPONENT dev)

# pkg-config. With the archive alone, every consumer needs the serial
# library on its link line, so it is required outright; next to a shared
# library it is needed only for a static link.
get_target_property(ravenlink_lib_type RavenlinkLib TYPE)
if(ravenlink_lib_type STREQUAL "STATIC_LIBRARY")
  set(RAVENLINK_PC_REQUIRES cxx-serial)
  set(RAVENLINK_PC_REQUIRES_PRIVATE "")
else()
  set(RAVENLINK_PC_REQUIRES "")
  set(RAVENLINK_PC_REQUIRES_PRIVATE cxx-serial)
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(RAVENLINK_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(RAVENLINK_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
# The prefix is the one installed to (cmake --install --prefix, or the
# package's /usr), so it is filled in at install time.
set(RAVENLINK_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/ravenlink.pc.in ${PROJECT_BINARY_DIR}/ravenlink.pc.in @ONLY)
install(CODE "configure_file(\"${PROJECT_BINARY_DIR}/ravenlink.pc.in\" \"${PROJECT_BINARY_DIR}/ravenlink.pc\" @ONLY)"
        COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/ravenlink.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

include(${PROJECT_SOURCE_DIR}/packaging/RavenlinkDebian.cmake)
