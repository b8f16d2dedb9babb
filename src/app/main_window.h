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

// What the start page says while the rule table holds no rules.
inline constexpr char kNoRulesHint[] =
    "还没有回复规则。添加规则有两种方法：\r\n"
    "1. 点击上方工具条的“设置”，在设置窗口中填写关键词和回复语，点击“添加”，最后点击“保存”。\r\n"
    "2. 在设置窗口中点击“导入规则…”，选择本程序文件夹中的示例规则 example-rules.csv"
    "（或您自己的表格，CSV 格式），检查列表后点击“保存”。";

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

// Shows the start page's hint on adding rules when `noRules`, else hides it.
// Nothing happens while the main window is not open.
void ShowNoRulesHint(bool noRules);

// The native handle of the tab control that hosts the clients (0 before the
// main window has been created).
std::uintptr_t HostWindow();

}  // namespace quillane
