// The main window's logic: the host window for the shop clients, adding and
// deleting shops, placing and showing their windows, the tool-bar commands,
// the clients' notices and the orderly end of the program.
#pragma once

#include <cstdint>

#include "channel/messages.h"
#include "services/types.h"

namespace quillane {

inline constexpr char kAddFailedText[] =
    "添加失败，请重试或检查本程序安装目录中Browser.exe是否存在。";

// Binds the main window's handlers to the names its definition uses.
void BindMainWindowHandlers();

// Event handlers.
void InitMainWindow();
void OnToolbarClick(int index);
void ShowCurrentClient();
void LayoutMainWindow();
bool ConfirmExit();
void ShutDown();

// Host message handlers.
void OnClientAnnounce();
void OnClientStopped();
void OnClientStarted();

// Operations.
void AddShop();
void DeleteShop();
// "启动回复": tells the current shop's client to start replying, with the
// waiting time, as "全部启动" does for every shop.
void StartCurrentShop();
void StopCurrentShop();
void StartAllShops();
void StopAllShops();
void FitClientWindow(std::uintptr_t window);
void ClearClientDirectory(const Text& path);
bool IsAbsoluteLocalPath(const Text& path, bool refuseRoot);

// The native handle of the tab control that hosts the clients (0 before the
// main window has been created).
std::uintptr_t HostWindow();

}  // namespace quillane
