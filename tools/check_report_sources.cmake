# The command's check report and what it reads documents with, listed once:
# the command builds them into its own library and the inspector into its
# hidden report objects.
set(OSTREL_CHECK_REPORT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/apply_model.cc
  ${CMAKE_CURRENT_LIST_DIR}/check_report.cc
  ${CMAKE_CURRENT_LIST_DIR}/document_scan.cc
  ${CMAKE_CURRENT_LIST_DIR}/json_out.cc
  ${CMAKE_CURRENT_LIST_DIR}/report_text.cc
  ${CMAKE_CURRENT_LIST_DIR}/standard_json.cc
  ${CMAKE_CURRENT_LIST_DIR}/toggle_names.cc)
