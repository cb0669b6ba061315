# Tag linking: the tag link table.
list(APPEND PELORIN_SOURCES
  tags/tag_link_table.cpp)
