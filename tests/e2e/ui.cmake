# The two windows built from their definitions on the Win32 backend, checked
# through uidriver.exe: with the Chinese locale and with an English one (the
# texts must read the same, whatever the system's code page).
quillane_wine_test(NAME wine_ui_windows COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/ui/ui_windows_test.sh TIMEOUT 180)
quillane_wine_test(NAME wine_ui_windows_en_US COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/ui/ui_windows_test.sh
                   LANG en_US.UTF-8 TIMEOUT 180)
