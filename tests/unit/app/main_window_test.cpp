#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/client_windows.h"
#include "app/settings_window.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "channel/host_channel.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/process.h"
#include "ui/headless.h"
#include "ui/runtime.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

// Records what the main window does to the client processes and windows.
struct FakeClients : ClientWindows {
  bool startSucceeds = true;
  std::uint32_t nextProcess = 100;
  std::vector<Text> started;
  std::vector<std::uint32_t> terminated;
  std::map<std::uintptr_t, bool> shown;

  bool Start(const Text& commandLine, const std::function<void(std::uint32_t)>& created) override {
    started.push_back(commandLine);
    if (startSucceeds) created(nextProcess++);
    return startSucceeds;
  }
  bool Embed(std::uintptr_t, std::uintptr_t) override { return true; }
  void Move(std::uintptr_t, int, int, int, int) override {}
  void Show(std::uintptr_t window, bool show) override { shown[window] = show; }
  std::uint32_t ProcessOf(std::uintptr_t window) override {
    return static_cast<std::uint32_t>(window / 10);
  }
  bool IsClientProcess(std::uint32_t sender, std::uint32_t started) override {
    return sender == started;
  }
  void Terminate(std::uint32_t processId) override { terminated.push_back(processId); }
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    headless = backend.get();
    runtime = std::make_unique<ui::Runtime>(std::move(backend));
    auto clients = std::make_unique<FakeClients>();
    fake = clients.get();
    SetClients(std::move(clients));
    while (Shops().Count() > 0) Shops().Remove(1);
    ClearHostRegistry();
    Settings().waitSeconds = 5;
    TakeMessageBoxCalls();
    SetEndProgramHook([this](std::int32_t code) { exitCode = code; });
    BindMainWindowHandlers();
    EXPECT_TRUE(ui::LoadWindow(ui::WindowId::Main));
  }
  ~MainWindowTest() override {
    SetEndProgramHook(nullptr);
    runtime.reset();
    SetClients(nullptr);
  }

  ui::Control Tabs() { return ui::Control(ui::WindowId::Main, "高级选择夹1"); }
  Text Status() { return ui::Control(ui::WindowId::Main, "状态条1").PartText(1); }
  void Click(int button) {
    ASSERT_TRUE(headless->ClickToolButton(ui::WindowId::Main, "工具条1", button));
  }
  // Adds `n` shops whose clients announce themselves (window = 10 × process id).
  void AddAnnouncedShops(int n) {
    for (int i = 0; i < n; ++i) {
      Click(0);
      const std::uint32_t pid = fake->nextProcess - 1;
      ASSERT_NE(Shops().Announce(pid, pid * 10, ""), 0);
    }
  }

  ui::HeadlessBackend* headless = nullptr;
  std::unique_ptr<ui::Runtime> runtime;
  FakeClients* fake = nullptr;
  std::int32_t exitCode = 1234;
};

TEST_F(MainWindowTest, CreatedWindowWelcomesAndAddsShopsWithTheirCommandLines) {
  EXPECT_EQ(Status(), "欢迎使用");
  Click(0);
  Click(0);
  ASSERT_EQ(Tabs().PageCount(), 3);
  EXPECT_EQ(Tabs().PageCaption(1), "店铺1");
  EXPECT_EQ(Tabs().PageCaption(2), "店铺2");
  EXPECT_EQ(Tabs().CurrentPage(), 2);
  ASSERT_EQ(fake->started.size(), 2u);
  const Text prefix =
      "\"" + RunDirectory() + "\\Browser.exe\" " + ToText(static_cast<std::uint64_t>(HostWindow()));
  EXPECT_EQ(fake->started[0], prefix + " 1");
  EXPECT_EQ(fake->started[1], prefix + " 2");
  EXPECT_EQ(Shops().Count(), 2);
  EXPECT_EQ(Shops().At(2).processId, 101u);
  EXPECT_EQ(ui::Control(ui::WindowId::Main, "工具条1").ButtonState(0) & 4, 0);
}

TEST_F(MainWindowTest, MissingClientProgramRemovesTheTabAndSaysSo) {
  fake->startSucceeds = false;
  Click(0);
  EXPECT_EQ(Tabs().PageCount(), 1);
  EXPECT_EQ(Shops().Count(), 0);
  EXPECT_EQ(Status(), kAddFailedText);
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
}

TEST_F(MainWindowTest, DeletingTheMiddleShopRenumbersTabsAndShowsThePreviousOne) {
  const fs::path dir = fs::temp_directory_path() / ("shop_data_" + std::to_string(::getpid()));
  fs::create_directories(dir / "sub");
  AddAnnouncedShops(2);
  Click(0);
  ASSERT_EQ(Shops().Announce(fake->nextProcess - 1, 777, dir.string()), 3);
  EXPECT_EQ(Shops().Announce(555, 5550, ""), 0);  // nobody waits any more: dropped

  // Tabs: 店铺1 (process 100), 店铺2 (101), 店铺3 (102, with the directory).
  Tabs().SetCurrentPage(2);
  Click(1);
  EXPECT_EQ(fake->terminated, std::vector<std::uint32_t>{101u});
  ASSERT_EQ(Tabs().PageCount(), 3);
  EXPECT_EQ(Tabs().PageCaption(2), "店铺2");
  EXPECT_EQ(Tabs().CurrentPage(), 1);
  EXPECT_EQ(Shops().At(2).window, 777u);
  EXPECT_TRUE(fake->shown[1000]);  // shop 1's window shown
  EXPECT_FALSE(fake->shown[777]);  // the other hidden

  // Deleting the shop with the data directory removes the directory.
  Tabs().SetCurrentPage(2);
  Click(1);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_EQ(Tabs().PageCount(), 2);

  // On the start page, delete and stop do nothing.
  Tabs().SetCurrentPage(0);
  Click(1);
  Click(4);
  EXPECT_EQ(Tabs().PageCount(), 2);
}

TEST_F(MainWindowTest, WaitTimeOfZeroBecomesTenAtTheFirstClick) {
  Settings().waitSeconds = 0;
  Click(3);
  EXPECT_EQ(Settings().waitSeconds, 10);
}

TEST_F(MainWindowTest, ClosingAsksAndOkEndsTheProgramAfterRemovingClientData) {
  const fs::path dir = fs::temp_directory_path() / ("shop_exit_" + std::to_string(::getpid()));
  fs::create_directories(dir / "cache");
  Click(0);
  ASSERT_EQ(Shops().Announce(fake->nextProcess - 1, 5, dir.string() + "\\"), 1);

  QueueMessageBoxButton(kButtonCancel);
  EXPECT_FALSE(headless->RequestClose(ui::WindowId::Main));
  EXPECT_TRUE(ui::IsWindowOpen(ui::WindowId::Main));
  EXPECT_TRUE(fs::exists(dir));

  QueueMessageBoxButton(kButtonOk);
  EXPECT_TRUE(headless->RequestClose(ui::WindowId::Main));
  const auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, "确定退出吗？");
  EXPECT_EQ(calls[0].title, "退出");
  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(fake->terminated.empty());  // the clients keep running
}

TEST_F(MainWindowTest, OnlyFoldersClearOfTheSystemsAndTheProgramsAreRemoved) {
  // The home folder stands for the user's profile here; it lies in a scratch
  // folder, so a guard that failed would only cost scratch files.
  const fs::path scratch = fs::temp_directory_path() / ("shop_guard_" + std::to_string(::getpid()));
  const fs::path home = scratch / "users" / "staff";
  fs::create_directories(home / "docs");
  fs::create_directories(scratch / "shop" / "cache");
  fs::create_directories(scratch / "elsewhere");
  std::ofstream(home / "docs" / "keep.txt") << "keep";
  std::ofstream(scratch / "elsewhere" / "keep.txt") << "keep";
  fs::create_directory_symlink(scratch / "users", scratch / "link-to-users");
  fs::create_directory_symlink(scratch / "elsewhere", scratch / "shop" / "cache" / "link");
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  ::setenv("HOME", home.c_str(), 1);

  const Text s = scratch.string();
  const Text refused[] = {
      s + "/users",                 // above the profile
      s + "/users/staff/.",         // the profile itself
      s + "/users/staff/docs/../",  // the profile again
      s + "/link-to-users",         // above the profile through a link
      s + "/link-to-users/staff/docs/..",
      s + "/elsewhere/.",  // named with "." or ".."
      s + "/shop/x/..",
      s + "/shop",  // above another shop's folder
      "shop",       // relative
  };
  for (const Text& folder : refused) {
    Click(0);
    ASSERT_NE(Shops().Announce(fake->nextProcess - 1, 10 * (fake->nextProcess - 1), folder), 0);
  }
  Click(0);
  ASSERT_NE(Shops().Announce(fake->nextProcess - 1, 1, s + "//shop/cache//"), 0);
  QueueMessageBoxButton(kButtonOk);
  EXPECT_TRUE(headless->RequestClose(ui::WindowId::Main));
  ::setenv("HOME", savedHome.c_str(), 1);

  EXPECT_TRUE(fs::exists(home / "docs" / "keep.txt"));
  EXPECT_TRUE(fs::is_symlink(scratch / "link-to-users"));
  // The shop's own folder goes; the link inside it goes as a link.
  EXPECT_FALSE(fs::exists(scratch / "shop" / "cache"));
  EXPECT_TRUE(fs::exists(scratch / "shop"));
  EXPECT_TRUE(fs::exists(scratch / "elsewhere" / "keep.txt"));
  fs::remove_all(scratch);
}

TEST(ShopPaths, OnlyAbsoluteLocalPathsBelowADriveRootAreEmptied) {
  EXPECT_TRUE(IsAbsoluteLocalPath("D:\\data\\shop1\\", true));
  EXPECT_TRUE(IsAbsoluteLocalPath("d:/data/", true));
  EXPECT_FALSE(IsAbsoluteLocalPath("\\\\server\\share\\", true));
  EXPECT_FALSE(IsAbsoluteLocalPath("data\\shop1\\", true));
  EXPECT_FALSE(IsAbsoluteLocalPath("C:\\", true));
  EXPECT_FALSE(IsAbsoluteLocalPath("C:\\\\", true));
  EXPECT_TRUE(IsAbsoluteLocalPath("C:\\", false));
  EXPECT_FALSE(IsAbsoluteLocalPath("", true));
}

TEST(WindowHandlers, EveryHandlerNameOfBothWindowsIsBound) {
  ui::Runtime runtime(std::make_unique<ui::HeadlessBackend>());
  BindMainWindowHandlers();
  BindSettingsWindowHandlers();
  EXPECT_EQ(runtime.UnboundHandlers(), std::vector<Text>{});
}

}  // namespace
}  // namespace quillane
