# Common compile settings for every target of the project.
function(ostrel_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_17)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()

# A library whose code ends up in libostrel: position independent, hidden
# symbols unless marked for export. NO_EXPORTED_API marks a part that neither
# defines nor calls the exported API, so that a program linking it (the
# command, beside libostrel) still imports that API.
function(ostrel_internal_library target)
  cmake_parse_arguments(ARG "NO_EXPORTED_API" "" "" ${ARGN})
  ostrel_target_defaults(${target})
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # A static part is linked into the binary that defines the exported API
  # (libostrel, or a test or tool that links the parts directly), so code
  # using it must declare that API as defined there, not imported from a DLL.
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY" AND NOT ARG_NO_EXPORTED_API)
    target_compile_definitions(${target} PUBLIC OSTREL_BUILDING)
  else()
    target_compile_definitions(${target} PRIVATE OSTREL_BUILDING)
  endif()
endfunction()

# One GoogleTest executable per area, registered with CTest.
function(ostrel_add_test target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  ostrel_target_defaults(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# Sets <var> to the headers <names...> of <dir>, in the calling directory and
# in its parent, where the install rules read the lists.
macro(ostrel_header_list var dir)
  set(${var} ${ARGN})
  list(TRANSFORM ${var} PREPEND ${dir}/)
  set(${var} ${${var}} PARENT_SCOPE)
endmacro()
