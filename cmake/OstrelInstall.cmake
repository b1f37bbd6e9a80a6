# The installable package: public headers, the two shared libraries, a CMake
# package and a pkg-config file.
#
#   include/ostrel/        the library's public headers
#   include/ostrel/util/   the util headers they build on
#   include/ostrel/cpp/    the C++ layer's headers (umbrella: ostrel/cpp.h)
#   include/ostrel/inspect.h  the inspector's header (when built)
#   lib/ (bin/ on Windows) libostrel and libcmutil; lib/libostrel_cpp.a
#   lib/cmake/ostrel/      find_package(ostrel CONFIG) -> ostrel::ostrel,
#                          ostrel::cpp, ostrel::inspect (lib/libostrel_inspect.a)
#   lib/pkgconfig/         ostrel.pc, ostrel-cpp.pc
#
# The ostrel:: names exist in the build tree too, so a project that vendors
# ostrel with add_subdirectory links the same targets as one that finds the
# installed package. A vendoring project gets no install rules unless it sets
# OSTREL_INSTALL.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(ostrel::ostrel ALIAS ostrel)
add_library(ostrel::cmutil ALIAS cmutil)

option(OSTREL_INSTALL "Generate the install rules" ${PROJECT_IS_TOP_LEVEL})
if(NOT OSTREL_INSTALL)
  return()
endif()

set(OSTREL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ostrel
  CACHE STRING "Where the CMake package files are installed")

install(FILES ${OSTREL_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel
  COMPONENT ostrel_development)
install(FILES ${CMUTIL_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel/util
  COMPONENT ostrel_development)

# libostrel finds libcmutil beside itself wherever the prefix is moved: a
# program that links libostrel alone (with --as-needed it does not list
# libcmutil) starts without LD_LIBRARY_PATH. The command's RUNPATH is set in
# tools/.
if(NOT WIN32)
  if(APPLE)
    set_target_properties(ostrel PROPERTIES INSTALL_RPATH "@loader_path")
  else()
    set_target_properties(ostrel PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
endif()

install(TARGETS ostrel cmutil ostrel_headers
  EXPORT ostrelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ostrel_runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ostrel_runtime
    NAMELINK_COMPONENT ostrel_development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ostrel_development)

install(EXPORT ostrelTargets
  NAMESPACE ostrel::
  DESTINATION ${OSTREL_INSTALL_CMAKEDIR}
  COMPONENT ostrel_development)

# --- Package components and version compatibility -------------------------
# The components find_package(ostrel COMPONENTS ...) knows, one per imported
# target; the package config refuses any other by name.
set(OSTREL_PACKAGE_COMPONENTS ostrel cmutil cpp)
if(TARGET ostrel_inspect)
  list(APPEND OSTREL_PACKAGE_COMPONENTS inspect)
endif()
# While the version is 0.x a minor version may change the interface, so only
# the same minor version is compatible; from 1.0 on, the same major version.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(OSTREL_VERSION_COMPATIBILITY SameMinorVersion)
else()
  set(OSTREL_VERSION_COMPATIBILITY SameMajorVersion)
endif()
# ---------------------------------------------------------------------------

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/ostrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ostrelConfig.cmake
  INSTALL_DESTINATION ${OSTREL_INSTALL_CMAKEDIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/ostrelConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY ${OSTREL_VERSION_COMPATIBILITY})
install(FILES
  ${PROJECT_BINARY_DIR}/ostrelConfig.cmake
  ${PROJECT_BINARY_DIR}/ostrelConfigVersion.cmake
  DESTINATION ${OSTREL_INSTALL_CMAKEDIR}
  COMPONENT ostrel_development)

# The pkg-config file finds its prefix from its own place, so it stays right
# when the package is installed with --prefix or moved.
file(RELATIVE_PATH OSTREL_PC_UP
  /ostrel-prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /ostrel-prefix)
string(REGEX REPLACE "/$" "" OSTREL_PC_UP "${OSTREL_PC_UP}")
set(OSTREL_PC_PREFIX "\${pcfiledir}/${OSTREL_PC_UP}")
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(OSTREL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(OSTREL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ostrel.pc.in
  ${PROJECT_BINARY_DIR}/ostrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ostrel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT ostrel_development)

# --- Licence ---------------------------------------------------------------
# The licence goes with the shared libraries, the part every user installs.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT ostrel_runtime)
# ---------------------------------------------------------------------------
# The C++ companion layer (ostrel::cpp, a static library on top of libostrel):
# include/ostrel/cpp.h with include/ostrel/cpp/, the layer in the same export
# set (so find_package(ostrel CONFIG) gives ostrel::cpp too), and
# ostrel-cpp.pc.
install(FILES ${PROJECT_SOURCE_DIR}/cpp/include/ostrel/cpp.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel
  COMPONENT ostrel_development)
install(FILES ${OSTREL_CPP_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel/cpp
  COMPONENT ostrel_development)
install(TARGETS ostrel_cpp
  EXPORT ostrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ostrel_development)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ostrel-cpp.pc.in
  ${PROJECT_BINARY_DIR}/ostrel-cpp.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ostrel-cpp.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT ostrel_development)
# The inspector (ostrel::inspect, a static library on top of ostrel::cpp) in
# an export set of its own: the package config loads it only where the HTTP
# server library it links (found through pkg-config) is installed too.
if(TARGET ostrel_inspect)
  install(FILES ${PROJECT_SOURCE_DIR}/inspect/include/ostrel/inspect.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel
    COMPONENT ostrel_development)
  install(TARGETS ostrel_inspect
    EXPORT ostrelInspectTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ostrel_development)
  install(EXPORT ostrelInspectTargets
    NAMESPACE ostrel::
    DESTINATION ${OSTREL_INSTALL_CMAKEDIR}
    COMPONENT ostrel_development)
endif()
