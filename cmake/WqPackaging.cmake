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
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OpenShift 3.x / GlusterFS protection library")
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
set(CPACK_COMPONENT_LIB_DESCRIPTION
  "OpenShift 3.x / GlusterFS protection library\n The client library a Linux backup agent loads to protect applications on an\n OpenShift 3.x cluster whose persistent volumes are GlusterFS: cluster reads and\n writes, GlusterFS snapshots mounted for reading, export and restore of object\n definitions.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libwqosdk-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libwqosdk${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}-1), libboost-json1.81-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "OpenShift 3.x / GlusterFS protection library (development files)\n Public headers, CMake package (find_package(wqosdk)) and pkg-config file of\n the wqosdk library.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME wqosctl)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "glusterfs-client")
set(CPACK_DEBIAN_TOOL_PACKAGE_SUGGESTS "wqosdk-cluster (= ${PROJECT_VERSION}-1)")
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "command-line tool for OpenShift 3.x / GlusterFS backups\n Backs up, lists, restores and runs commands against applications on an\n OpenShift 3.x cluster with GlusterFS volumes, through the wqosdk library.")

set(CPACK_DEBIAN_CLUSTER_PACKAGE_NAME wqosdk-cluster)
set(CPACK_DEBIAN_CLUSTER_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_CLUSTER_PACKAGE_DEPENDS
  "wqosctl (= ${PROJECT_VERSION}-1), openssh-server, openssh-client, glusterfs-server, glusterfs-client, python3, iproute2, util-linux")
set(CPACK_COMPONENT_CLUSTER_DESCRIPTION
  "built-in demonstration cluster for wqosctl\n A simulated OpenShift 3.11 API, the cluster command-line client stand-in,\n a storage-node sandbox (sshd and glusterd in Linux namespaces) and a sample\n application, used by wqosctl when no cluster is named (wqosctl demo).")

include(CPack)
