# Quillane.exe with real Browser.exe clients, driven through uidriver.exe.
quillane_wine_test(NAME wine_quillane COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/quillane/quillane_test.sh TIMEOUT 300)
quillane_wine_test(NAME wine_quillane_en_US COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/quillane/quillane_test.sh
                   LANG en_US.UTF-8 TIMEOUT 300)
# Hostile clients and a stray local process against the real Quillane.exe.
quillane_wine_test(NAME wine_hostile COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hostile/hostile_test.sh TIMEOUT 300)
