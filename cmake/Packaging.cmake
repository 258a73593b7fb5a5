# Debian packages: `cpack -G DEB` in a build folder makes one package per
# install component, named as Debian names library packages:
#
#   Qt 5: libvelxmlimpexp1       libvelxmlimpexp-dev       velxml
#   Qt 6: libvelxmlimpexp-qt6-1  libvelxmlimpexp-qt6-dev   velxml-qt6
#
# The Qt 5 and Qt 6 packages hold different files and install side by side.
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so that the library goes to
# Debian's multiarch folder (GNUInstallDirs picks it for /usr only).
string(TOLOWER ${VELXML_NAME} velxml_deb_base)
if(velxml_deb_base MATCHES "[0-9]$")
  set(velxml_deb_runtime ${velxml_deb_base}-${PROJECT_VERSION_MAJOR})
else()
  set(velxml_deb_runtime ${velxml_deb_base}${PROJECT_VERSION_MAJOR})
endif()
set(velxml_deb_runtime lib${velxml_deb_runtime})
if(QT_MAJOR_VERSION STREQUAL "5")
  set(velxml_deb_qt_dev "qtbase5-dev (>= 5.15)")
else()
  set(velxml_deb_qt_dev "qt6-base-dev (>= 6.4)")
endif()

set(CPACK_PACKAGE_NAME ${velxml_deb_base})
set(CPACK_PACKAGE_VENDOR "VELXMLImpExp developers")
set(CPACK_PACKAGE_CONTACT "VELXMLImpExp maintainers <maintainers@users.noreply.c-seed-8540b8cb.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "paged XML exchange files for a device's contacts and appointments")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
if(VELXML_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL Tool)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# velxml's own library lies in another package: let dpkg-shlibdeps find it in
# the build tree, while the package dependency comes from the components'.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_COMPONENT_TOOL_DEPENDS Runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${velxml_deb_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "The shared library, built on Qt ${QT_MAJOR_VERSION}.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME lib${velxml_deb_base}-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ${velxml_deb_qt_dev})
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "Headers, CMake package ${VELXML_NAME} and pkg-config file ${VELXML_NAME}.pc (Qt ${QT_MAJOR_VERSION}).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${VELXML_TOOL_NAME})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "The ${VELXML_TOOL_NAME} command-line tool (Qt ${QT_MAJOR_VERSION}).")

include(CPack)
