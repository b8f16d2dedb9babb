# Reply matching: the rule walk and the reply index that answers like it.
add_library(quillane_matching STATIC
  ${CMAKE_CURRENT_LIST_DIR}/reply_matching.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reply_index.cpp
)
target_link_libraries(quillane_matching PUBLIC quillane_services)
