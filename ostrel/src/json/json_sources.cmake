# The JSON module's sources, listed once: the module's own library builds
# them, and the inspector builds them into its hidden report objects.
set(OSTREL_JSON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/json_brackets.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_compare.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_containers.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_merge.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_number.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_plain_document.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_reader.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_value.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_writer.cc)
