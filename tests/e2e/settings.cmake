# The settings window of Quillane.exe, driven through uidriver.exe.
quillane_wine_test(NAME wine_settings COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/settings/settings_test.sh TIMEOUT 300)
quillane_wine_test(NAME wine_settings_en_US COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/settings/settings_test.sh
                   LANG en_US.UTF-8 TIMEOUT 300)
# Rules in and out as CSV files through the settings window and the system's
# open and save dialogs.
quillane_wine_test(NAME wine_rule_files COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/settings/rule_files_test.sh TIMEOUT 300)
# The rule tester and the rule checks of the settings window.
quillane_wine_test(NAME wine_rule_tester COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/settings/rule_tester_test.sh TIMEOUT 300)
