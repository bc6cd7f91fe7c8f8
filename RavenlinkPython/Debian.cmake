# The Debian package python3-ravenlink_VERSION_amd64.deb: the component
# "python", the package ravenlink in /usr/lib/python3/dist-packages. Included
# by packaging/RavenlinkDebian.cmake where the module is built. The module is
# made for one Python version, so the package depends on that version, as
# Debian's own extension modules do.
list(APPEND CPACK_COMPONENTS_ALL python)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/python3-ravenlink COMPONENT python)

set(python_version ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
math(EXPR python_next_minor "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-ravenlink)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The serial library's runtime package and the C++ runtime come from
# dpkg-shlibdeps.
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${python_version}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next_minor})")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python package for the Halvern Loftward ground station
The Halvern Loftward ground station powers a tethered drone through a cable
on a motorised reel and is reached over one serial line.
.
This package holds the Python package ravenlink, the communication library
for scripts, notebooks and test rigs: StationLink reads the station's
status, details and settings as typed records, changes its settings and
judges its health. Calls that wait for the station release the interpreter
lock. Type stubs are included.")
# Byte code made at install, and removed again before the files go, as
# Debian's Python packages do.
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_LIST_DIR}/debian/postinst;${CMAKE_CURRENT_LIST_DIR}/debian/prerm")
