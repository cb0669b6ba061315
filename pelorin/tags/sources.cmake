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
# The point tables go through the database library: the plug-in is linked against tabulo.dll
# (CreateTabulo) and cannot be loaded without it.
list(APPEND PELORIN_LIBS opcidl tabulo)
