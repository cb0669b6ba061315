# Tag linking and creation: the address-space snapshot, aliases and tag names, bulk tag creation
# and the point tables.
list(APPEND PELORIN_SOURCES
  tags/browse_node.cpp
  tags/depth_limit.cpp
  tags/item_id_map.cpp)
list(APPEND PELORIN_LIBS opcidl)
