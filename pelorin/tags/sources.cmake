# Tag linking and creation: the tag link table, the address-space snapshot, aliases and tag
# names, bulk tag creation and the point tables.
list(APPEND PELORIN_SOURCES
  tags/alias_file.cpp
  tags/browse_node.cpp
  tags/depth_limit.cpp
  tags/item_id_map.cpp
  tags/point_table.cpp
  tags/point_table_source.cpp
  tags/tag_creation.cpp
  tags/tag_link_table.cpp
  tags/tag_name.cpp)
list(APPEND PELORIN_LIBS opcidl)
# The database library's declarations only: the point tables reach its object through a factory
# that the item link dialog passes (the library's CreateTabulo).
add_library(pelorin_tabulo_headers INTERFACE)
target_include_directories(pelorin_tabulo_headers INTERFACE ${CMAKE_SOURCE_DIR}/platform/tabulo/include)
list(APPEND PELORIN_LIBS pelorin_tabulo_headers)
