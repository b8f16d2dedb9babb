// The main window's host-message handlers, fed by simulated client processes
// through the in-process stand-in of the message transport: replies reach the
// client that asked, and malformed announcements, requests and notices are
// dropped without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/client_windows.h"
#include "channel/host_channel.h"
#include "channel/host_transport_local.h"
#include "channel/host_wire.h"
#include "app/main_window.h"
#include "app/reply_service.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "rules/reply_rules.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/process.h"
#include "table/engine.h"
#include "table/format.h"
#include "ui/headless.h"
#include "ui/runtime.h"
#include "rules/rule_schema.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

// Client windows whose process is known to the stand-in transport.
struct TransportClients : ClientWindows {
  std::map<std::uintptr_t, std::uint32_t> owner;
  std::uint32_t nextProcess = 500;
  bool Start(const Text&, const std::function<void(std::uint32_t)>& created) override {
    created(nextProcess++);
    return true;
  }
  bool Embed(std::uintptr_t, std::uintptr_t) override { return true; }
  void Move(std::uintptr_t, int, int, int, int) override {}
  void Show(std::uintptr_t, bool) override {}
  std::uint32_t ProcessOf(std::uintptr_t window) override { return owner[window]; }
  bool IsClientProcess(std::uint32_t sender, std::uint32_t started) override {
    return sender == started;
  }
  void Terminate(std::uint32_t) override {}
};

// One simulated client process: a window that records the texts sent to it
// and memory from which it sends its own messages.
struct SimulatedClient {
  LocalHostTransport& transport;
  std::uint64_t pid;
  NativeWindow window = 0;
  std::vector<std::pair<Text, Text>> received;  // message name, payload text
  std::vector<std::uint8_t> status{1}, descriptor, payload;

  SimulatedClient(LocalHostTransport& t, std::uint64_t processId) : transport(t), pid(processId) {
    transport.AddProcess(pid);
    window = transport.CreateWindow(
        pid, [this](NativeWindow, std::uint32_t m, std::uint64_t w, std::int64_t l) {
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
    if (desc->payloadLength > 0 && !memory->Read(desc->payloadAddress, bytes.data(), bytes.size()))
      return;
    const std::uint8_t two = 2;
    memory->Write(desc->statusAddress, &two, 1);
    for (const char* name : {"匹配回复内容", "开启回复", "停止回复", "子夹改变"}) {
      if (transport.RegisterMessage(name) == message) received.emplace_back(name, bytes.c_str());
    }
  }

  // Sends a payload to the host with a well-formed descriptor.
  void Send(NativeWindow host, const Text& name, const Text& text) {
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
    EXPECT_TRUE(WriteBytesToFile(directory + kRuleTableFile, MakeEmptyRuleTable()));
    EXPECT_TRUE(table::OpenTable(directory + kRuleTableFile, kRuleTableAlias, kRulePassword));
    EXPECT_EQ(ReplaceRules(directory, {{"在吗", "在的", "包含", "1"}}), RuleStoreResult::Ok);
    EXPECT_EQ(LoadReplyRulesAtStart(directory), RuleStoreResult::Ok);
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
    client->Send(host, "子窗口句柄",
                 ToText(static_cast<std::uint64_t>(client->window)) + "|0|C:\\shop");
    simulated.push_back(std::move(client));
    return *simulated.back();
  }
  Text Status() { return ui::Control(ui::WindowId::Main, "状态条1").PartText(1); }

  fs::path dir_;
  LocalHostTransport transport;
  ui::HeadlessBackend* headless = nullptr;
  std::unique_ptr<ui::Runtime> runtime;
  TransportClients* clients = nullptr;
  NativeWindow host = 0;
  std::vector<std::unique_ptr<SimulatedClient>> simulated;
};

TEST_F(HostHandlersTest, RepliesAndNoticesReachOnlyTheSender) {
  SimulatedClient& one = AddShop();
  SimulatedClient& two = AddShop();
  ASSERT_EQ(Shops().At(2).window, two.window);
  one.Send(host, "匹配回复内容", "在|1");
  two.Send(host, "匹配回复内容", "你好|2");
  // Whatever shop number a request names, its sender gets the answer.
  two.Send(host, "匹配回复内容", "在|1|2");
  two.Send(host, "匹配回复内容", "在|1");
  two.Send(host, "匹配回复内容", "在|0");
  EXPECT_EQ(one.Replies(), std::vector<Text>{"在的"});
  EXPECT_EQ(two.Replies(), (std::vector<Text>{"默认", "在的", "在的", "在的"}));
  // Without a shop number there is no request.
  for (const char* request : {"在吗", ""}) one.Send(host, "匹配回复内容", request);
  EXPECT_EQ(one.Replies().size(), 1u);

  // A notice changes only the sender's own shop, under its own number.
  const Text before = Status();
  for (const char* n : {"0", "1", "3", "abc", ""}) two.Send(host, "停止", n);
  EXPECT_EQ(Status(), before);
  two.Send(host, "停止", "2");
  EXPECT_EQ(Status(), "店铺2已停止");
  one.Send(host, "启动", "1");
  EXPECT_EQ(Status(), "店铺1已启动");
}

TEST_F(HostHandlersTest, ProcessesNobodyStartedReachNoShop) {
  headless->ClickToolButton(ui::WindowId::Main, "工具条1", 0);
  const std::uint64_t started = clients->nextProcess - 1;
  SimulatedClient stray(transport, 900);
  SimulatedClient client(transport, started);
  clients->owner[stray.window] = 900;
  clients->owner[client.window] = static_cast<std::uint32_t>(started);
  const Text strayWindow = ToText(static_cast<std::uint64_t>(stray.window));
  const Text clientWindow = ToText(static_cast<std::uint64_t>(client.window));
  // A stray process announcing itself or the client's window binds nothing.
  stray.Send(host, "子窗口句柄", strayWindow + "|0|C:\\x");
  stray.Send(host, "子窗口句柄", clientWindow + "|0|C:\\x");
  EXPECT_EQ(Shops().At(1).window, 0u);
  // The started client announcing another process's window (here the
  // stray's, as it could name the host's own) binds nothing either.
  client.Send(host, "子窗口句柄", strayWindow + "|0|C:\\y");
  for (const Text& payload : {clientWindow + "|0", clientWindow + "|0|", Text("0|0|C:\\y")}) {
    client.Send(host, "子窗口句柄", payload);
  }
  EXPECT_EQ(Shops().At(1).window, 0u);
  client.Send(host, "子窗口句柄", clientWindow + "|0|C:\\y");
  EXPECT_EQ(Shops().At(1).window, client.window);
  EXPECT_EQ(Shops().At(1).dataDirectory, "C:\\y");

  // A forged request naming shop 1 is not even read; the client is answered.
  stray.Send(host, "匹配回复内容", "在吗|1");
  EXPECT_EQ(stray.status[0], 1);  // never acknowledged
  stray.Send(host, "停止", "1");
  EXPECT_EQ(Status(), "欢迎使用");
  EXPECT_TRUE(client.Replies().empty());
  EXPECT_TRUE(stray.Replies().empty());
  client.Send(host, "匹配回复内容", "在吗|1");
  EXPECT_EQ(client.Replies(), std::vector<Text>{"在的"});
}

TEST_F(HostHandlersTest, AHungClientCostsTheSendLimitOnceAndExitStillEnds) {
  SimulatedClient& one = AddShop();
  SimulatedClient& two = AddShop();
  transport.SetHung(one.window, true);
  std::int32_t exitCode = -1;
  SetEndProgramHook([&](std::int32_t code) { exitCode = code; });
  StopAllShops();
  StopAllShops();
  // The first send ran out of its time; later ones only probe.
  EXPECT_EQ(transport.timedOutLimits(),
            (std::vector<std::uint32_t>{kHostSendLimitMs, kHungProbeMs}));
  EXPECT_EQ(two.received.size(), 2u);
  two.Send(host, "匹配回复内容", "在|2");
  EXPECT_EQ(two.Replies(), std::vector<Text>{"在的"});
  // Once it answers again it gets its messages.
  transport.SetHung(one.window, false);
  one.Send(host, "匹配回复内容", "在|1");
  EXPECT_EQ(one.Replies(), std::vector<Text>{"在的"});

  // Exit with a hung client and a start-all loop running still ends.
  transport.SetHung(one.window, true);
  StartAllShops();
  QueueMessageBoxButton(kButtonOk);
  EXPECT_TRUE(headless->RequestClose(ui::WindowId::Main));
  EXPECT_EQ(exitCode, 0);
  const auto stops = std::count_if(two.received.begin(), two.received.end(),
                                   [](const auto& m) { return m.first == "停止回复"; });
  EXPECT_EQ(stops, 3);
  SetEndProgramHook(nullptr);
}

}  // namespace
}  // namespace quillane
