#include "app/main_window.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "app/client_windows.h"
#include "channel/host_channel.h"
#include "app/reply_service.h"
#include "app/settings_window.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/paths.h"
#include "services/process.h"
#include "services/runtime_error.h"
#include "services/text.h"
#include "services/values.h"
#include "ui/definitions.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

// The process-wide records of the main window.
std::atomic<std::uintptr_t> hostWindow{0};
// The start-all loops still running, and the request to end them early.
std::atomic<int> startAllRunning{0};
std::atomic<bool> startAllStop{false};

// Sending to every client pauses between two clients, so each has handled
// its message (and sent its notice) before the next one gets its own.
constexpr std::int32_t kPauseBetweenClientsMs = 100;
// At exit a client gets a moment to let go of its data folder.
constexpr std::int32_t kPauseBeforeRemovingMs = 10;

// Client windows lie below the tab strip.
constexpr int kClientTop = 24;
// Status bar part 1 leaves room for part 0.
constexpr int kStatusTextMargin = 32;

ui::Control Tabs() { return ui::Control(ui::WindowId::Main, "高级选择夹1"); }
ui::Control ToolBar() { return ui::Control(ui::WindowId::Main, "工具条1"); }
ui::Control StatusBar() { return ui::Control(ui::WindowId::Main, "状态条1"); }

const ui::ControlDef& ToolBarDefinition() {
  const ui::WindowDef& main = ui::GetWindowDef(ui::WindowId::Main);
  return main.controls[static_cast<std::size_t>(ui::FindControl(main, "工具条1"))];
}

constexpr int kAddShopButton = 0;
constexpr int kDisabledState = 4;

Text ShopCaption(int number) {
  Text caption = "店铺";
  return caption.append(ToText(number));
}

Bytes StopReplyingPayload() { return Bytes{0}; }

// The shop-number notices "停止" and "启动": only a shop's own client may
// report on it, under its own number.
void ShowShopNotice(const char* message, const char* suffix) {
  const int own = Shops().NumberOfClient(static_cast<std::uint32_t>(LastSender(message)));
  const std::int32_t n = ToInteger(ToText(LastPayload(message)));
  if (own == 0 || n != own) return;
  StatusBar().SetPartText(1, ShopCaption(n) + suffix);
}

void StartAllLoop(std::int32_t seconds) {
  for (const Shop& shop : Shops().All()) {
    if (startAllStop) break;
    if (shop.window != 0)
      SendHostMessage(shop.window, kStartReplyingMessage, ToBytes(ToText(seconds)));
    Delay(kPauseBetweenClientsMs);
  }
  --startAllRunning;
}

// The full path of a client's data folder when it may be emptied or removed:
// an absolute local path below a drive root, named plainly (no "." or ".."),
// that is neither this program's folder, the Windows, system or profile
// folder, another shop's data folder, nor a folder above one of them, also
// once links and short names are resolved. Empty when refused.
Text RemovableClientFolder(const Text& path, const std::vector<Text>& otherShopFolders) {
  const auto full = FullLocalPath(path);
  if (!full || IsDriveRoot(*full) || HasDotNames(path)) return {};
  const Text resolved = ResolvedPath(*full);
  if (!resolved.empty() && IsDriveRoot(resolved)) return {};
  std::vector<Text> kept = SystemFolders();
  // A program in a drive root has the folder "C:".
  if (auto run = FullLocalPath(RunDirectory() + "\\")) kept.push_back(*run);
  for (const Text& other : otherShopFolders) {
    if (auto folder = FullLocalPath(other)) kept.push_back(*folder);
  }
  const std::size_t given = kept.size();
  for (std::size_t i = 0; i < given; ++i) {
    if (Text real = ResolvedPath(kept[i]); !real.empty()) kept.push_back(std::move(real));
  }
  for (const Text& folder : kept) {
    if (IsSameOrAbove(*full, folder)) return {};
    if (!resolved.empty() && IsSameOrAbove(resolved, folder)) return {};
  }
  return *full;
}

// Removes the data directory of shop `number` after emptying it.
void RemoveClientDirectory(const std::vector<Shop>& shops, int number) {
  std::vector<Text> others;
  for (int k = 1; k <= static_cast<int>(shops.size()); ++k) {
    const Text& folder = shops[static_cast<std::size_t>(k - 1)].dataDirectory;
    if (k != number && !folder.empty()) others.push_back(folder);
  }
  const Text full =
      RemovableClientFolder(shops[static_cast<std::size_t>(number - 1)].dataDirectory, others);
  if (full.empty()) return;
  ClearClientDirectory(full);
  DeleteDirectoryTree(full);
}

}  // namespace

std::uintptr_t HostWindow() { return hostWindow; }

void BindMainWindowHandlers() {
  SetRuntimeErrorReporter(&ui::RaiseRuntimeError);
  ui::BindHandler("InitMainWindow", std::function<void()>(InitMainWindow));
  ui::BindHandler("OnToolbarClick", std::function<void(int)>(OnToolbarClick));
  ui::BindHandler("ShowCurrentClient", std::function<void()>(ShowCurrentClient));
  ui::BindHandler("LayoutMainWindow", std::function<void()>(LayoutMainWindow));
  ui::BindAskingHandler("ConfirmExit", ConfirmExit);
  ui::BindHandler("ShutDown", std::function<void()>(ShutDown));
}

void InitMainWindow() {
  {
    // While the replies' rules are being read at start-up the reader holds
    // the engine and leaves the sorted copy current itself: the window does
    // not wait for it.
    std::unique_lock guard(TableEngineLock(), std::try_to_lock);
    if (guard) MakeSortedCopyCurrent();
  }
  hostWindow = Tabs().Handle();
  SubclassHostWindow(hostWindow);
  SetHostSenderCheck(IsShopProcess);
  RegisterHostMessage(kAnnounceMessage, OnClientAnnounce);
  RegisterHostMessage(kMatchRequestMessage, OnMatchRequest);
  RegisterHostMessage(kStoppedMessage, OnClientStopped);
  RegisterHostMessage(kStartedMessage, OnClientStarted);
  LayoutMainWindow();
  StatusBar().SetPartText(1, "欢迎使用");
}

void OnToolbarClick(int index) {
  if (Settings().waitSeconds <= 0) Settings().waitSeconds = 10;
  // What each button does, by its caption in the window definition.
  static constexpr struct {
    std::string_view caption;
    void (*action)();
  } kActions[] = {
      {"添加店铺", AddShop},
      {"删除店铺", DeleteShop},
      {"启动回复", StartCurrentShop},
      {"停止回复", StopCurrentShop},
      {"全部启动", StartAllShops},
      {"全部停止", StopAllShops},
      {"设置", [] { ui::LoadWindow(ui::WindowId::Settings); }},
  };
  const ui::ControlDef& bar = ToolBarDefinition();
  if (index < 0 || index >= static_cast<int>(bar.buttons.size())) return;
  const ui::ToolButtonDef& button = bar.buttons[static_cast<std::size_t>(index)];
  if (button.IsSeparator()) return;
  for (const auto& [caption, action] : kActions) {
    if (caption == button.caption) action();
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
  // The shop knows its client's process before the client can announce itself.
  if (number == p && Clients().Start(commandLine, [number](std::uint32_t processId) {
        Shops().SetProcessId(number, processId);
      })) {
    ProcessEvents();
  } else {
    Shops().Remove(number);
    Tabs().DeletePage(p);
    StatusBar().SetPartText(1, kAddFailedText);
  }
  ToolBar().RemoveButtonState(kAddShopButton, kDisabledState);
}

void OnClientAnnounce() {
  const auto sender = static_cast<std::uint32_t>(LastSender(kAnnounceMessage));
  const std::vector<Text> fields = SplitText(ToText(LastPayload(kAnnounceMessage)), "|");
  if (fields.size() < 3) return;
  // Window handles travel as 32-bit numbers.
  const auto window =
      static_cast<std::uintptr_t>(static_cast<std::uint32_t>(ToWideInteger(fields[0])));
  // A client announces a window of its own, never another program's.
  if (window == 0 || sender == 0 || Clients().ProcessOf(window) != sender) return;
  const int number = Shops().Announce(sender, window, fields[2], [sender](std::uint32_t started) {
    return Clients().IsClientProcess(sender, started);
  });
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
  const std::vector<Shop> shops = Shops().All();
  const Shop& shop = shops[static_cast<std::size_t>(current - 1)];
  // Only the very process started for the shop, through the handle held
  // since its start.
  if (shop.processId != 0) Clients().Terminate(shop.processId);
  RemoveClientDirectory(shops, current);
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
    SendHostMessage(shop.window, kStartReplyingMessage,
                    ToBytes(ToText(Settings().waitSeconds.load())));
  }
}

void StopCurrentShop() {
  const int current = Tabs().CurrentPage();
  if (current <= 0) return;
  const Shop shop = Shops().At(current);
  if (shop.window != 0) SendHostMessage(shop.window, kStopReplyingMessage, StopReplyingPayload());
}

void StartAllShops() {
  ++startAllRunning;
  if (!StartThread(StartAllLoop, Settings().waitSeconds)) --startAllRunning;
}

void StopAllShops() {
  for (const Shop& shop : Shops().All()) {
    if (shop.window != 0) SendHostMessage(shop.window, kStopReplyingMessage, StopReplyingPayload());
    Delay(kPauseBetweenClientsMs);
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
  // The start-all loops end at their next shop; one may be waiting on a
  // client for at most the send limit.
  startAllStop = true;
  const std::uint32_t start = TickCount();
  while (startAllRunning > 0 && TickCount() - start < kHostSendLimitMs + 1000)
    Delay(kPumpIntervalMs);
  const std::vector<Shop> shops = Shops().All();
  for (int k = 1; k <= static_cast<int>(shops.size()); ++k) {
    Delay(kPauseBeforeRemovingMs);
    RemoveClientDirectory(shops, k);
  }
  EndProgram(0);
}

void ClearClientDirectory(const Text& path) {
  const Text full = RemovableClientFolder(path, {});
  if (full.empty() || !PathIsDirectory(full)) return;
  DeleteDirectoryTree(full);
  // With a trailing separator the last component is made too.
  MakeSureDirectoryPathExists(full + "\\");
}

void ShowNoRulesHint(bool noRules) {
  ui::Runtime* runtime = ui::Runtime::Current();
  if (!runtime) return;
  // The test and the write are one step on the main thread, where the window
  // is destroyed, so a save thread may call this too.
  runtime->OnMain([noRules] {
    if (ui::IsWindowOpen(ui::WindowId::Main))
      ui::Control(ui::WindowId::Main, "透明标签_规则提示").SetText(noRules ? kNoRulesHint : "");
  });
}

bool IsAbsoluteLocalPath(const Text& path, bool refuseRoot) {
  const auto full = FullLocalPath(path);
  return full && !(refuseRoot && IsDriveRoot(*full));
}

}  // namespace quillane
