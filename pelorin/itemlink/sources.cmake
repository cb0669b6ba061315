# The item link dialog's plain parts: the server's address space and the walk over the tree.
list(APPEND PELORIN_SOURCES
  itemlink/address_space_browser.cpp
  itemlink/tree_path.cpp)
