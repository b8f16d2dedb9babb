#include "app/main_window.h"

#include <atomic>
#include <mutex>

#include "app/client_windows.h"
#include "app/host_channel.h"
#include "app/reply_service.h"
#include "app/settings_window.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/process.h"
#include "services/text.h"
#include "services/values.h"
#include "table/engine.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

// The process-wide records of the main window.
std::atomic<std::uintptr_t> hostWindow{0};
std::atomic<ThreadHandle> startAllThread{0};

// Client windows lie below the tab strip.
constexpr int kClientTop = 24;
// Status bar part 1 leaves room for part 0.
constexpr int kStatusTextMargin = 32;

ui::Control Tabs() { return ui::Control(ui::WindowId::Main, "高级选择夹1"); }
ui::Control ToolBar() { return ui::Control(ui::WindowId::Main, "工具条1"); }
ui::Control StatusBar() { return ui::Control(ui::WindowId::Main, "状态条1"); }

constexpr int kAddShopButton = 0;
constexpr int kDisabledState = 4;

Text ShopCaption(int number) {
  Text caption = "店铺";
  return caption.append(ToText(number));
}

Bytes StopReplyingPayload() { return Bytes{0}; }

// The shop-number notices "停止" and "启动": a number that is not a shop
// changes nothing.
void ShowShopNotice(const char* message, const char* suffix) {
  const std::int32_t n = ToInteger(ToText(LastPayload(message)));
  if (n <= 0 || n > Shops().Count()) return;
  StatusBar().SetPartText(1, ShopCaption(n) + suffix);
}

void StartAllLoop(std::int32_t seconds) {
  for (const Shop& shop : Shops().All()) {
    if (shop.window != 0) SendHostMessage(shop.window, kStartReplyingMessage, ToBytes(ToText(seconds)));
    Delay(100);
  }
}

// Removes a client's data directory after emptying it.
void RemoveClientDirectory(const Text& directory) {
  if (directory.empty()) return;
  ClearClientDirectory(directory);
  DeleteDirectoryTree(directory);
}

}  // namespace

std::uintptr_t HostWindow() { return hostWindow; }

void BindMainWindowHandlers() {
  ui::BindHandler("InitMainWindow", std::function<void()>(InitMainWindow));
  ui::BindHandler("OnToolbarClick", std::function<void(int)>(OnToolbarClick));
  ui::BindHandler("ShowCurrentClient", std::function<void()>(ShowCurrentClient));
  ui::BindHandler("LayoutMainWindow", std::function<void()>(LayoutMainWindow));
  ui::BindAskingHandler("ConfirmExit", ConfirmExit);
  ui::BindHandler("ShutDown", std::function<void()>(ShutDown));
}

void InitMainWindow() {
  {
    std::lock_guard guard(TableEngineLock());
    table::SelectTable(kSortedCopyAlias);
  }
  hostWindow = Tabs().Handle();
  SubclassHostWindow(hostWindow);
  RegisterHostMessage(kAnnounceMessage, OnClientAnnounce);
  RegisterHostMessage(kMatchRequestMessage, OnMatchRequest);
  RegisterHostMessage(kStoppedMessage, OnClientStopped);
  RegisterHostMessage(kStartedMessage, OnClientStarted);
  LayoutMainWindow();
  StatusBar().SetPartText(1, "欢迎使用");
}

void OnToolbarClick(int index) {
  if (Settings().waitSeconds <= 0) Settings().waitSeconds = 10;
  switch (index) {
    case 8: ui::LoadWindow(ui::WindowId::Settings); break;
    case 0: AddShop(); break;
    case 1: DeleteShop(); break;
    case 3: StartCurrentShop(); break;
    case 4: StopCurrentShop(); break;
    case 5: StartAllShops(); break;
    case 6: StopAllShops(); break;
    default: break;  // the separators raise no clicks
  }
}

void AddShop() {
  ToolBar().AddButtonState(kAddShopButton, kDisabledState);
  const int p = Tabs().InsertPage("");
  if (p < 1) {
    ToolBar().RemoveButtonState(kAddShopButton, kDisabledState);
    return;
  }
  const Text arguments = ToText(static_cast<std::uint64_t>(HostWindow())) + " " + ToText(p);
  Tabs().SetPageCaption(p, ShopCaption(p));
  // The shop's entry exists with its tab, so tab k and shop k stay one.
  const int number = Shops().Add(0);
  Tabs().SetCurrentPage(p);
  Text commandLine = "\"";
  commandLine.append(RunDirectory()).append("\\Browser.exe\" ").append(arguments);
  std::uint32_t processId = 0;
  if (number == p && Clients().Start(commandLine, &processId)) {
    Shops().SetProcessId(number, processId);
    ProcessEvents();
  } else {
    Shops().Remove(number);
    Tabs().DeletePage(p);
    StatusBar().SetPartText(1, kAddFailedText);
  }
  ToolBar().RemoveButtonState(kAddShopButton, kDisabledState);
}

void OnClientAnnounce() {
  const std::vector<Text> fields = SplitText(ToText(LastPayload(kAnnounceMessage)), "|");
  if (fields.size() < 3) return;
  // Window handles travel as 32-bit numbers.
  const auto window = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(ToWideInteger(fields[0])));
  if (window == 0) return;
  const int number = Shops().Announce(Clients().ProcessOf(window), window, fields[2]);
  if (number == 0) return;
  if (Clients().Embed(window, HostWindow())) {
    FitClientWindow(window);
    // A client that announces after the user moved on stays hidden until its tab is chosen.
    Clients().Show(window, Tabs().CurrentPage() == number);
  }
}

void FitClientWindow(std::uintptr_t window) {
  const ui::Control tabs = Tabs();
  Clients().Move(window, 0, kClientTop, tabs.ClientWidth(), tabs.ClientHeight() - kClientTop);
}

void ShowCurrentClient() {
  const int current = Tabs().CurrentPage();
  int k = 0;
  for (const Shop& shop : Shops().All()) {
    ++k;
    if (shop.window != 0) Clients().Show(shop.window, k == current);
  }
}

void LayoutMainWindow() {
  const ui::Control tabs = Tabs();
  const int barHeight = ToolBar().Height();
  tabs.SetTop(barHeight);
  tabs.SetWidth(ui::ClientWidth(ui::WindowId::Main));
  tabs.SetHeight(ui::ClientHeight(ui::WindowId::Main) - StatusBar().Height() - barHeight);
  StatusBar().SetPartWidth(1, StatusBar().Width() - kStatusTextMargin);
  for (const Shop& shop : Shops().All()) {
    if (shop.window != 0) FitClientWindow(shop.window);
  }
}

void OnClientStopped() { ShowShopNotice(kStoppedMessage, "已停止"); }
void OnClientStarted() { ShowShopNotice(kStartedMessage, "已启动"); }

void DeleteShop() {
  const int current = Tabs().CurrentPage();
  if (current <= 0 || current > Shops().Count()) return;
  const Shop shop = Shops().At(current);
  const std::uint32_t processId = shop.window != 0 ? Clients().ProcessOf(shop.window) : shop.processId;
  if (processId != 0) Clients().Terminate(processId);
  RemoveClientDirectory(shop.dataDirectory);
  Tabs().DeletePage(current);
  Shops().Remove(current);
  int k = 0;
  for (const Shop& s : Shops().All()) {
    ++k;
    if (s.window != 0) SendHostMessage(s.window, kShopNumberMessage, ToBytes(ToText(k)));
  }
  const int pages = Tabs().PageCount();
  for (int i = 1; i < pages; ++i) Tabs().SetPageCaption(i, ShopCaption(i));
  Tabs().SetCurrentPage(current - 1);
}

void StartCurrentShop() {
  const int current = Tabs().CurrentPage();
  if (current <= 0) return;
  const Shop shop = Shops().At(current);
  if (shop.window != 0) {
    SendHostMessage(shop.window, kStartReplyingMessage, ToBytes(ToText(Settings().waitSeconds.load())));
  }
}

void StopCurrentShop() {
  const int current = Tabs().CurrentPage();
  if (current <= 0) return;
  const Shop shop = Shops().At(current);
  if (shop.window != 0) SendHostMessage(shop.window, kStopReplyingMessage, StopReplyingPayload());
}

void StartAllShops() {
  ThreadHandle handle = 0;
  if (StartThread(StartAllLoop, Settings().waitSeconds, &handle)) startAllThread = handle;
}

void StopAllShops() {
  for (const Shop& shop : Shops().All()) {
    if (shop.window != 0) SendHostMessage(shop.window, kStopReplyingMessage, StopReplyingPayload());
    Delay(100);
  }
}

bool ConfirmExit() {
  if (ShowMessageBox("确定退出吗？", kMbOkCancel | kMbIconInformation, "退出") != kAnswerOk)
    return false;
  // A save that runs is finished first, so the program never ends half-way through it.
  return FinishSettingsTasks();
}

void ShutDown() {
  StopAllShops();
  if (const ThreadHandle t = startAllThread.exchange(0)) KillThread(t);
  for (const Shop& shop : Shops().All()) {
    Delay(10);
    RemoveClientDirectory(shop.dataDirectory);
  }
  EndProgram(0);
}

void ClearClientDirectory(const Text& path) {
  Text p = path;
  if (TextRight(p, 1) != "\\") p += "\\";
  if (IsAbsoluteLocalPath(p, true) && PathIsDirectory(p)) {
    DeleteDirectoryTree(p);
    MakeSureDirectoryPathExists(p);
  }
}

bool IsAbsoluteLocalPath(const Text& path, bool refuseRoot) {
  auto collapse = [](Text q) {
    while (FindText(q, "\\\\") != -1) q = ReplaceText(q, "\\\\", "\\");
    while (FindText(q, "//") != -1) q = ReplaceText(q, "//", "/");
    return q;
  };
  const Text q = collapse(path);
  const Text first = ToUpper(TextLeft(q, 1));
  if (first.empty() || first[0] < 'A' || first[0] > 'Z') return false;
  if (FindText(q, ":\\") == -1 && FindText(q, ":/") == -1) return false;
  if (refuseRoot && TextLength(collapse(q)) == 3) return false;
  return true;
}

}  // namespace quillane
