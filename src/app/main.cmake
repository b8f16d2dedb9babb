# The program's logic: stored settings, shops, replies.
add_library(quillane_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/stored_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shop_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reply_service.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client_windows.cpp
)
target_link_libraries(quillane_app PUBLIC quillane_matching quillane_channel quillane_rules quillane_ui)

if(WIN32)
  add_executable(Quillane ${CMAKE_CURRENT_LIST_DIR}/quillane_main.cpp)
  target_link_libraries(Quillane PRIVATE quillane_app)
  target_link_options(Quillane PRIVATE -municode)
  quillane_ui_program(Quillane)
endif()
