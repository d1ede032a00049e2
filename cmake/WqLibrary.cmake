# The one shared library the agent loads, built from the module OBJECT libraries,
# with its install rules, exported CMake package and pkg-config file.
list(TRANSFORM WQOSDK_MODULES PREPEND wq_ OUTPUT_VARIABLE wq_objects)

# The public headers: the chief header of each module, the HTTP client interface, the node
# selector, the host service interfaces and the json_spirit-compatible layer, with every header
# of the project they include. The other headers are internal helpers and stay in the tree.
set(wq_public_roots
  wrapper/openshiftWrapper.h connection/openshiftConnection.h connection/wqLibCurl.h
  parser/openshiftParser.h queries/openshiftQueries.h queries/glusterNodeSelector.h
  operations/openshiftOperations.h json/json_spirit.h)
file(GLOB wq_host_headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/host/*.h)
list(APPEND wq_public_roots ${wq_host_headers})
set(WQOSDK_PUBLIC_HEADERS)
set(wq_pending ${wq_public_roots})
while(wq_pending)
  list(POP_FRONT wq_pending header)
  if(header IN_LIST WQOSDK_PUBLIC_HEADERS OR NOT EXISTS ${PROJECT_SOURCE_DIR}/${header})
    continue()
  endif()
  list(APPEND WQOSDK_PUBLIC_HEADERS ${header})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${header})
  file(STRINGS ${PROJECT_SOURCE_DIR}/${header} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" included "${line}")
    list(APPEND wq_pending ${included})
  endforeach()
endwhile()
list(SORT WQOSDK_PUBLIC_HEADERS)

# Hidden visibility by default: every object of the library is compiled with the public
# headers included first under default visibility, so that what they declare (and nothing
# else) is exported from the shared library.
set(wq_api_header ${PROJECT_BINARY_DIR}/wqosdkPublicApi.h)
set(wq_api_text "// Generated: the public headers, whose declarations the library exports.\n#pragma GCC visibility push(default)\n")
foreach(header IN LISTS wq_public_roots)
  string(APPEND wq_api_text "#include \"${header}\"\n")
endforeach()
string(APPEND wq_api_text "#pragma GCC visibility pop\n")
file(CONFIGURE OUTPUT ${wq_api_header} CONTENT "${wq_api_text}")
foreach(obj IN LISTS wq_objects)
  set_target_properties(${obj} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  target_compile_options(${obj} PRIVATE -include ${wq_api_header})
endforeach()

add_library(wqosdk SHARED)
add_library(wqosdk::wqosdk ALIAS wqosdk)
foreach(obj IN LISTS wq_objects)
  target_sources(wqosdk PRIVATE $<TARGET_OBJECTS:${obj}>)
  # Carry each module's usage requirements (include dirs, libraries) without re-exporting the object target.
  target_link_libraries(wqosdk PRIVATE $<BUILD_INTERFACE:${obj}>)
endforeach()
target_include_directories(wqosdk PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/wqosdk>)
target_link_libraries(wqosdk PUBLIC Boost::json PRIVATE CURL::libcurl OpenSSL::SSL OpenSSL::Crypto PkgConfig::LIBSSH2 Threads::Threads)
set_target_properties(wqosdk PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  LINKER_LANGUAGE CXX CXX_VISIBILITY_PRESET hidden)

# The same objects as a static library, not installed: for the programs of this tree that use
# the library's internal helpers (the tool, the tests).
add_library(wqosdk_static STATIC)
# Linking an OBJECT library puts its objects into this archive and passes on its usage
# requirements.
target_link_libraries(wqosdk_static PUBLIC ${wq_objects})
target_include_directories(wqosdk_static PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wqosdk_static PUBLIC Boost::json CURL::libcurl OpenSSL::SSL OpenSSL::Crypto
  PkgConfig::LIBSSH2 Threads::Threads)
set_target_properties(wqosdk_static PROPERTIES LINKER_LANGUAGE CXX)

# Components: "lib" (the shared library), "dev" (headers, link name, CMake package,
# pkg-config file); the tool and its built-in cluster are in tools/wqosctl.
install(TARGETS wqosdk EXPORT wqosdkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib)
foreach(header IN LISTS WQOSDK_PUBLIC_HEADERS)
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wqosdk/${dir}
    COMPONENT dev)
endforeach()

include(CMakePackageConfigHelpers)
set(wq_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/wqosdk)
install(EXPORT wqosdkTargets NAMESPACE wqosdk:: DESTINATION ${wq_cmake_dir} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/wqosdkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfig.cmake INSTALL_DESTINATION ${wq_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfigVersion.cmake
  DESTINATION ${wq_cmake_dir} COMPONENT dev)

# Relative prefix so the installed tree can be moved.
file(RELATIVE_PATH WQ_PC_UP ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" WQ_PC_UP "${WQ_PC_UP}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/wqosdk.pc.in ${CMAKE_CURRENT_BINARY_DIR}/wqosdk.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/wqosdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
