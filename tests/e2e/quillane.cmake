# Quillane.exe with real Browser.exe clients, driven through uidriver.exe.
quillane_wine_test(NAME wine_quillane COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/quillane/quillane_test.sh TIMEOUT 300)
quillane_wine_test(NAME wine_quillane_en_US COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/quillane/quillane_test.sh
                   LANG en_US.UTF-8 TIMEOUT 300)
