# Tag linking and creation: the address-space snapshot, aliases and tag names, bulk tag creation
# and the point tables.
list(APPEND PELORIN_SOURCES
  tags/alias_file.cpp
  tags/browse_node.cpp
  tags/depth_limit.cpp
  tags/item_id_map.cpp
  tags/tag_creation.cpp
  tags/tag_name.cpp)
list(APPEND PELORIN_LIBS opcidl)
