# The sources of the configuration document rules (group names and the one
# walk over a document), listed once: ostrel_internal_document builds them,
# and the inspector builds them into its hidden report objects.
set(OSTREL_DOCUMENT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/config_document_walk.cc
  ${CMAKE_CURRENT_LIST_DIR}/config_groups.cc)
