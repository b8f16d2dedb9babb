# The table tests that concern files, locks and sharing, run under Wine
# against the Win32 file layer (plus the format and engine tests, which are quick).
quillane_wine_test(NAME wine_table_tests COMMAND table_tests.exe TIMEOUT 120)
