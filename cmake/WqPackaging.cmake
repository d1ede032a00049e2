# Debian packages (cpack -G DEB in the build tree), one per install component:
#   libwqosdk0     the shared library                      (component lib)
#   libwqosdk-dev  headers, link name, CMake package, .pc  (component dev)
#   wqosctl        the command-line tool                   (component tool)
#   wqosdk-cluster the tool's built-in cluster: simulated API, client stand-in, storage-node
#                  sandbox, sample application             (component cluster)
# The tool only suggests the built-in cluster, so installing it on a backup host starts no
# sshd or glusterd there. Library dependencies are computed by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME wqosdk)
set(CPACK_PACKAGE_VENDOR "wqosdk developers")
set(CPACK_PACKAGE_CONTACT "wqosdk developers <wqosdk@localhost.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tool cluster)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost.invalid/wqosdk")

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libwqosdk${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_COMPONENT_LIB_DESCRIPTION
  "OpenShift 3.x / GlusterFS protection library\nThe client library a Linux backup agent loads to protect applications on an\nOpenShift 3.x cluster whose persistent volumes are GlusterFS: cluster reads and\nwrites, GlusterFS snapshots mounted for reading, export and restore of object\ndefinitions.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libwqosdk-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libwqosdk${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}-1), libboost-json1.81-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "OpenShift 3.x / GlusterFS protection library (development files)\nPublic headers, CMake package (find_package(wqosdk)) and pkg-config file of\nthe wqosdk library.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME wqosctl)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "glusterfs-client")
set(CPACK_DEBIAN_TOOL_PACKAGE_SUGGESTS "wqosdk-cluster (= ${PROJECT_VERSION}-1)")
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "command-line tool for OpenShift 3.x / GlusterFS backups\nBacks up, lists, restores and runs commands against applications on an\nOpenShift 3.x cluster with GlusterFS volumes, through the wqosdk library.")

set(CPACK_DEBIAN_CLUSTER_PACKAGE_NAME wqosdk-cluster)
set(CPACK_DEBIAN_CLUSTER_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_CLUSTER_PACKAGE_DEPENDS
  "wqosctl (= ${PROJECT_VERSION}-1), openssh-server, openssh-client, glusterfs-server, glusterfs-client, python3, iproute2")
set(CPACK_COMPONENT_CLUSTER_DESCRIPTION
  "built-in demonstration cluster for wqosctl\nA simulated OpenShift 3.11 API, the cluster command-line client stand-in,\na storage-node sandbox (sshd and glusterd in Linux namespaces) and a sample\napplication, used by wqosctl when no cluster is named (wqosctl demo).")

# Each package's copyright and Debian changelog.
set(wq_changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${wq_changelog} @ONLY)
execute_process(COMMAND gzip -9nf ${wq_changelog} RESULT_VARIABLE wq_gzip)
if(NOT wq_gzip EQUAL 0)
  message(FATAL_ERROR "cannot compress ${wq_changelog}")
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${wq_changelog}.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
endforeach()

include(CPack)
