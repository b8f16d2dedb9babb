# The host message channel: wire codec, registry, dispatcher, sending; the
# Win32 transport under Windows, the in-process stand-in natively.
set(channel_sources
  ${CMAKE_CURRENT_LIST_DIR}/host_wire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_channel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exchange_area.cpp
)
if(WIN32)
  list(APPEND channel_sources ${CMAKE_CURRENT_LIST_DIR}/host_transport_win32.cpp)
else()
  list(APPEND channel_sources ${CMAKE_CURRENT_LIST_DIR}/host_transport_local.cpp)
endif()
add_library(quillane_channel STATIC ${channel_sources})
target_link_libraries(quillane_channel PUBLIC quillane_services)
