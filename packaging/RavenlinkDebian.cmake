# Debian packages: `cpack -G DEB` in a build tree configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does it all) makes
#   ravenlink_VERSION_amd64.deb          component "tools": every program, its
#                                        manual page and bash completion, the
#                                        bridge's units and user, the web
#                                        server's unit and page, examples
#   libravenlink-dev_VERSION_amd64.deb   component "dev": headers, the static
#                                        library, CMake and pkg-config files
#   python3-ravenlink_VERSION_amd64.deb  component "python": the Python package
#                                        (RavenlinkPython/Debian.cmake)
# A program joins the first by ravenlink_install_program() (cmake/RavenlinkInstall.cmake).

set(RAVENLINK_MAINTAINER "Ravenlink maintainers <ravenlink@halvern.example>")

# Debian wants a copyright file and a compressed changelog in each package's
# documentation folder; the changelog entry is made for this version.
string(TIMESTAMP RAVENLINK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog)
add_custom_target(ravenlink_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)

# Examples to copy and adapt (the bridge's configuration joins them from
# RavenlinkBridge/): the site broker's configuration for the bridge, and the
# health check's service and timer, and a fleet's broker connections.
set(RAVENLINK_EXAMPLES_DIR ${CMAKE_INSTALL_DATADIR}/doc/ravenlink/examples)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/mosquitto/README.md ${CMAKE_CURRENT_LIST_DIR}/mosquitto/ravenlink.conf
              ${CMAKE_CURRENT_LIST_DIR}/mosquitto/ravenlink.acl
              ${CMAKE_CURRENT_LIST_DIR}/mosquitto/ravenlink-listener.conf.example
        DESTINATION ${RAVENLINK_EXAMPLES_DIR}/mosquitto COMPONENT tools)
# A fleet: each site's broker connected to a central one.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/mosquitto/fleet/README.md
              ${CMAKE_CURRENT_LIST_DIR}/mosquitto/fleet/site-central.conf.example
              ${CMAKE_CURRENT_LIST_DIR}/mosquitto/fleet/central.conf
              ${CMAKE_CURRENT_LIST_DIR}/mosquitto/fleet/central.acl
              ${CMAKE_CURRENT_LIST_DIR}/mosquitto/fleet/prometheus.yml.example
        DESTINATION ${RAVENLINK_EXAMPLES_DIR}/mosquitto/fleet COMPONENT tools)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/ravenlink-check.service
              ${CMAKE_CURRENT_LIST_DIR}/systemd/ravenlink-check.timer
        DESTINATION ${RAVENLINK_EXAMPLES_DIR} COMPONENT tools)
foreach(component_package tools:ravenlink dev:libravenlink-dev)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravenlink)
set(CPACK_PACKAGE_VENDOR "Halvern")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${RAVENLINK_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tools dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ravenlink)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION comm)
# The programs' shared libraries (the serial library's runtime package among
# them) are found by dpkg-shlibdeps; adduser makes the bridge's user where
# systemd-sysusers is missing. ravenlinkctl plot draws with gnuplot; the
# bridge wants a broker, here or elsewhere.
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "gnuplot")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "mosquitto")
# The maintainer scripts make the bridge's user at install and tell systemd
# about the units (packaging/debian/).
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
  "${CMAKE_CURRENT_LIST_DIR}/debian/postinst;${CMAKE_CURRENT_LIST_DIR}/debian/prerm;${CMAKE_CURRENT_LIST_DIR}/debian/postrm")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "console, tools and MQTT bridge for the Halvern Loftward ground station
The Halvern Loftward ground station powers a tethered drone through a cable
on a motorised reel and is reached over one serial line.
.
This package holds the operator's console ravenlinkapp, the command-line
tool ravenlinkctl for scripts and monitoring, the bridge ravenlink-bridge,
which publishes every station of a site to an MQTT broker and takes
operators' commands from it (a systemd unit per site, its own system user),
the web server ravenlink-web, which shows the broker's stations as a page
for a browser and lets each user do what their own broker account may
(a systemd unit; the page in /usr/share/ravenlink/web),
and the station simulator ravenlinkstation, which serves a simulated station
on a pseudo-terminal so that everything can be tried without hardware.
Examples of the site broker's configuration, of a health check timer and
a Grafana dashboard over the bridge's metrics endpoint are in
/usr/share/doc/ravenlink/examples.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libravenlink-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libcxx-serial-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION "communication library for the Halvern Loftward ground station
RavenlinkLib talks to the Halvern Loftward ground station of a tethered drone
over its serial line: the StationLink class reads the station's status and
details, changes its settings and prints its reports. The station-side
composer (StationComposer.h, plain C) builds the station's replies.
.
This package holds the headers, the static library, the CMake package
(find_package(Ravenlink)) and the pkg-config file ravenlink.pc.")

# The Python package, where the module is built.
if(RAVENLINK_BUILD_PYTHON)
  include(${PROJECT_SOURCE_DIR}/RavenlinkPython/Debian.cmake)
endif()

include(CPack)
