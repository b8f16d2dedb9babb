// The main window's host-message handlers, fed by simulated client processes
// through the in-process stand-in of the message transport: replies reach the
// client that asked, and malformed announcements, requests and notices are
// dropped without harm.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/client_windows.h"
#include "app/host_channel.h"
#include "app/host_transport_local.h"
#include "app/host_wire.h"
#include "app/main_window.h"
#include "app/reply_service.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "table/engine.h"
#include "table/format.h"
#include "ui/headless.h"
#include "ui/runtime.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

// Client windows whose process is known to the stand-in transport.
struct TransportClients : ClientWindows {
  std::map<std::uintptr_t, std::uint32_t> owner;
  std::uint32_t nextProcess = 500;
  bool Start(const Text&, std::uint32_t* processId) override {
    *processId = nextProcess++;
    return true;
  }
  bool Embed(std::uintptr_t, std::uintptr_t) override { return true; }
  void Move(std::uintptr_t, int, int, int, int) override {}
  void Show(std::uintptr_t, bool) override {}
  std::uint32_t ProcessOf(std::uintptr_t window) override { return owner[window]; }
  void Terminate(std::uint32_t) override {}
};

// One simulated client process: a window that records the texts sent to it
// and memory from which it sends its own messages.
struct SimulatedClient {
  LocalHostTransport& transport;
  std::uint64_t pid;
  WindowId window = 0;
  std::vector<std::pair<Text, Text>> received;  // message name, payload text
  std::vector<std::uint8_t> status{1}, descriptor, payload;

  SimulatedClient(LocalHostTransport& t, std::uint64_t processId) : transport(t), pid(processId) {
    transport.AddProcess(pid);
    window = transport.CreateWindow(pid, [this](WindowId, std::uint32_t m, std::uint64_t w, std::int64_t l) {
      Receive(m, w, l);
      return std::intptr_t{0};
    });
  }

  // Reads a message sent to this window the way a client does.
  void Receive(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    const auto fields = wire::DecodeWParam(wParam);
    auto memory = fields ? transport.OpenProcess(fields->processId) : nullptr;
    if (!memory) return;
    std::string d(fields->descriptorLength, '\0');
    if (!memory->Read(static_cast<std::uint64_t>(lParam), d.data(), d.size())) return;
    const auto desc = wire::ParseDescriptor(d);
    if (!desc) return;
    std::string bytes(desc->payloadLength, '\0');
    if (desc->payloadLength > 0 && !memory->Read(desc->payloadAddress, bytes.data(), bytes.size())) return;
    const std::uint8_t two = 2;
    memory->Write(desc->statusAddress, &two, 1);
    for (const char* name : {"匹配回复内容", "开启回复", "停止回复", "子夹改变"}) {
      if (transport.RegisterMessage(name) == message) received.emplace_back(name, bytes.c_str());
    }
  }

  // Sends a payload to the host with a well-formed descriptor.
  void Send(WindowId host, const Text& name, const Text& text) {
    payload.assign(text.begin(), text.end());
    status = {1};
    const Text d = wire::BuildDescriptor(0x5000, static_cast<std::uint32_t>(payload.size()),
                                         payload.empty() ? 0 : 0x7000);
    descriptor.assign(d.begin(), d.end());
    transport.MapMemory(pid, 0x5000, &status);
    transport.MapMemory(pid, 0x6000, &descriptor);
    if (!payload.empty()) transport.MapMemory(pid, 0x7000, &payload);
    DispatchHostMessage(host, transport.RegisterMessage(name),
                        *wire::EncodeWParam(pid, static_cast<std::uint32_t>(d.size())), 0x6000);
    transport.UnmapMemory(pid, 0x5000);
    transport.UnmapMemory(pid, 0x6000);
    transport.UnmapMemory(pid, 0x7000);
  }

  std::vector<Text> Replies() const {
    std::vector<Text> out;
    for (const auto& [name, text] : received) {
      if (name == "匹配回复内容") out.push_back(text);
    }
    return out;
  }
};

class HostHandlersTest : public ::testing::Test {
 protected:
  HostHandlersTest() {
    dir_ = fs::temp_directory_path() / ("host_handlers_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const Text directory = dir_.string();
    EXPECT_TRUE(WriteBytesToFile(directory + kRuleTableFile, table::MakeEmptyRuleTable()));
    EXPECT_TRUE(table::OpenTable(directory + kRuleTableFile, kRuleTableAlias, table::kRulePassword));
    EXPECT_EQ(ReplaceRules(directory, {{"在吗", "在的", "包含", "1"}}), RuleStoreResult::Ok);
    EXPECT_EQ(RebuildSortedCopy(directory, false), RuleStoreResult::Ok);
    Settings().defaultReply = "默认";

    SetHostTransport(&transport);
    ClearHostRegistry();
    auto backend = std::make_unique<ui::HeadlessBackend>();
    headless = backend.get();
    runtime = std::make_unique<ui::Runtime>(std::move(backend));
    auto c = std::make_unique<TransportClients>();
    clients = c.get();
    SetClients(std::move(c));
    while (Shops().Count() > 0) Shops().Remove(1);
    BindMainWindowHandlers();
    EXPECT_TRUE(ui::LoadWindow(ui::WindowId::Main));
    host = HostWindow();
  }
  ~HostHandlersTest() override {
    runtime.reset();
    SetClients(nullptr);
    ClearHostRegistry();
    SetHostTransport(nullptr);
    table::CloseAllTables();
    fs::remove_all(dir_);
  }

  // Adds a shop whose client announces itself from a simulated process.
  SimulatedClient& AddShop() {
    headless->ClickToolButton(ui::WindowId::Main, "工具条1", 0);
    auto client = std::make_unique<SimulatedClient>(transport, clients->nextProcess - 1);
    clients->owner[client->window] = static_cast<std::uint32_t>(client->pid);
    client->Send(host, "子窗口句柄", ToText(static_cast<std::uint64_t>(client->window)) + "|0|C:\\shop");
    simulated.push_back(std::move(client));
    return *simulated.back();
  }
  Text Status() { return ui::Control(ui::WindowId::Main, "状态条1").PartText(1); }

  fs::path dir_;
  LocalHostTransport transport;
  ui::HeadlessBackend* headless = nullptr;
  std::unique_ptr<ui::Runtime> runtime;
  TransportClients* clients = nullptr;
  WindowId host = 0;
  std::vector<std::unique_ptr<SimulatedClient>> simulated;
};

TEST_F(HostHandlersTest, EachClientGetsItsOwnReplies) {
  SimulatedClient& one = AddShop();
  SimulatedClient& two = AddShop();
  ASSERT_EQ(Shops().At(2).window, two.window);
  one.Send(host, "匹配回复内容", "在|1");
  two.Send(host, "匹配回复内容", "你好|2");
  EXPECT_EQ(one.Replies(), std::vector<Text>{"在的"});
  EXPECT_EQ(two.Replies(), std::vector<Text>{"默认"});
}

TEST_F(HostHandlersTest, MalformedRequestsAndNoticesAreDropped) {
  SimulatedClient& one = AddShop();
  for (const char* request : {"在吗", "", "在吗|0", "在吗|2", "在吗|-1", "在吗|x"}) {
    one.Send(host, "匹配回复内容", request);
  }
  EXPECT_TRUE(one.Replies().empty());
  // A customer text holding "|": the piece after it is no shop number.
  one.Send(host, "匹配回复内容", "a|b|1");
  EXPECT_TRUE(one.Replies().empty());

  const Text before = Status();
  for (const char* n : {"0", "2", "abc", ""}) one.Send(host, "停止", n);
  EXPECT_EQ(Status(), before);
  one.Send(host, "停止", "1");
  EXPECT_EQ(Status(), "店铺1已停止");
  one.Send(host, "启动", "1");
  EXPECT_EQ(Status(), "店铺1已启动");
}

TEST_F(HostHandlersTest, ShortOrStrayAnnouncementsBindNothing) {
  headless->ClickToolButton(ui::WindowId::Main, "工具条1", 0);
  SimulatedClient stray(transport, 900);
  const Text window = ToText(static_cast<std::uint64_t>(stray.window));
  stray.Send(host, "子窗口句柄", window + "|0");    // two fields
  stray.Send(host, "子窗口句柄", window + "|0|");   // a trailing "|" adds no third field
  stray.Send(host, "子窗口句柄", "0|0|C:\\x");     // no window
  EXPECT_EQ(Shops().At(1).window, 0u);
  // A well-formed announcement afterwards still finds the waiting shop.
  stray.Send(host, "子窗口句柄", window + "|0|C:\\x");
  EXPECT_EQ(Shops().At(1).window, stray.window);
  stray.Send(host, "匹配回复内容", "在吗|1");
  EXPECT_EQ(stray.Replies(), std::vector<Text>{"在的"});
}

}  // namespace
}  // namespace quillane
