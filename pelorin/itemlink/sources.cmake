# The item link dialog's plain parts: the browse panel, the server's address space and the walk
# over the tree, the controls they use, and the grid as the tag link table sees it.
list(APPEND PELORIN_SOURCES
  itemlink/address_space_browser.cpp
  itemlink/browse_controls.cpp
  itemlink/browse_panel.cpp
  itemlink/ccell2000.cpp
  itemlink/tree_path.cpp)
list(APPEND PELORIN_LIBS comctl32 gdi32)
