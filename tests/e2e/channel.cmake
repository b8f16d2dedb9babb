# The host message channel between processes: a host with two Browser.exe
# clients, special and hostile peers (tests/e2e/channel). Once with code page
# 936 and once on an en_US system.
quillane_wine_test(NAME wine_channel_e2e COMMAND channel_e2e.exe TIMEOUT 180)
quillane_wine_test(NAME wine_channel_e2e_en_US COMMAND channel_e2e.exe LANG en_US.UTF-8 TIMEOUT 180)
