# The one shared library the agent loads, built from the module OBJECT libraries,
# with its install rules, exported CMake package and pkg-config file.
set(wq_objects)
foreach(module IN LISTS WQOSDK_MODULES)
  if(TARGET wq_${module})
    list(APPEND wq_objects wq_${module})
  endif()
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
set_target_properties(wqosdk PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} LINKER_LANGUAGE CXX)

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

install(TARGETS wqosdk EXPORT wqosdkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(module IN LISTS WQOSDK_MODULES)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${module}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wqosdk/${module}
    FILES_MATCHING PATTERN "*.h" PATTERN "*.def")
endforeach()

include(CMakePackageConfigHelpers)
set(wq_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/wqosdk)
install(EXPORT wqosdkTargets NAMESPACE wqosdk:: DESTINATION ${wq_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/wqosdkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfig.cmake INSTALL_DESTINATION ${wq_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/wqosdkConfigVersion.cmake
  DESTINATION ${wq_cmake_dir})

# Relative prefix so the installed tree can be moved.
file(RELATIVE_PATH WQ_PC_UP ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" WQ_PC_UP "${WQ_PC_UP}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/wqosdk.pc.in ${CMAKE_CURRENT_BINARY_DIR}/wqosdk.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/wqosdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
