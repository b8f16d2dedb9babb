#include "channel/host_channel.h"

#include <gtest/gtest.h>

#include <vector>

#include "channel/host_transport_local.h"
#include "channel/host_wire.h"
#include "services/values.h"

using namespace quillane;

namespace {

constexpr std::uint64_t kClientPid = 777;

// A simulated client process: its status byte, descriptor and payload live in
// its own memory, mapped into the stand-in transport.
struct FakeSender {
  LocalHostTransport& transport;
  std::vector<std::uint8_t> status{1};
  std::vector<std::uint8_t> descriptor;
  std::vector<std::uint8_t> payload;
  static constexpr std::uint64_t kStatusAt = 0x5000;
  static constexpr std::uint64_t kDescriptorAt = 0x6000;
  static constexpr std::uint64_t kPayloadAt = 0x7000;

  explicit FakeSender(LocalHostTransport& t) : transport(t) { transport.AddProcess(kClientPid); }

  // Sends a well-formed request carrying `bytes`.
  std::intptr_t Send(NativeWindow target, const Text& name, const Bytes& bytes) {
    payload = bytes;
    const Text d = wire::BuildDescriptor(kStatusAt, static_cast<std::uint32_t>(bytes.size()),
                                         bytes.empty() ? 0 : kPayloadAt);
    return SendRaw(target, name, d,
                   *wire::EncodeWParam(kClientPid, static_cast<std::uint32_t>(d.size())),
                   kDescriptorAt);
  }

  // Sends whatever descriptor text, wParam and lParam a hostile peer chooses.
  std::intptr_t SendRaw(NativeWindow target, const Text& name, const Text& d, std::uint64_t wParam,
                        std::int64_t lParam) {
    status = {1};
    descriptor.assign(d.begin(), d.end());
    transport.MapMemory(kClientPid, kStatusAt, &status);
    transport.MapMemory(kClientPid, kDescriptorAt, &descriptor);
    if (!payload.empty()) transport.MapMemory(kClientPid, kPayloadAt, &payload);
    const std::intptr_t r = transport.Send(target, transport.RegisterMessage(name), wParam, lParam);
    transport.UnmapMemory(kClientPid, kStatusAt);
    transport.UnmapMemory(kClientPid, kDescriptorAt);
    transport.UnmapMemory(kClientPid, kPayloadAt);
    return r;
  }

  bool acknowledged() const { return status[0] == 2; }
};

int gRuns = 0;
int gOtherRuns = 0;
Bytes gSeen;
void CountingHandler() {
  ++gRuns;
  gSeen = LastPayload("匹配回复内容");
}
void OtherHandler() { ++gOtherRuns; }

class Channel : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHostTransport(&transport);
    ClearHostRegistry();
    gRuns = 0;
    gOtherRuns = 0;
    gSeen.clear();
    host =
        transport.CreateWindow(transport.CurrentProcessId(),
                               [this](NativeWindow, std::uint32_t m, std::uint64_t, std::int64_t) {
                                 passedOn.push_back(m);
                                 return std::intptr_t{77};
                               });
  }
  void TearDown() override {
    ClearHostRegistry();
    SetHostTransport(nullptr);
  }

  LocalHostTransport transport;
  NativeWindow host = 0;
  std::vector<std::uint32_t> passedOn;
};

}  // namespace

TEST_F(Channel, RegistrationRefusesDuplicatesAndEmptyNames) {
  EXPECT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  EXPECT_FALSE(RegisterHostMessage("匹配回复内容", OtherHandler));  // same name
  EXPECT_FALSE(RegisterHostMessage("停止", CountingHandler));       // same handler
  EXPECT_FALSE(RegisterHostMessage("", OtherHandler));
  EXPECT_TRUE(RegisterHostMessage("停止", OtherHandler));
  // The refused name was not kept: it can be registered later with a new handler.
  EXPECT_TRUE(RegisterHostMessage("启动", nullptr));
  EXPECT_TRUE(RegisterHostMessage("子窗口句柄", nullptr));  // several entries without a handler
  EXPECT_TRUE(LastPayload("匹配回复内容").empty());
  EXPECT_TRUE(LastPayload("never registered").empty());
}

TEST_F(Channel, RequestIsFetchedAcknowledgedStoredServedAndPassedOn) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  FakeSender client(transport);
  const std::intptr_t r = client.Send(host, "匹配回复内容", ToBytes(Text("在吗|1")));
  EXPECT_EQ(r, 77);  // the previous procedure's result, unchanged
  EXPECT_TRUE(client.acknowledged());
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(ToText(gSeen), "在吗|1");
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), "在吗|1");
  ASSERT_EQ(passedOn.size(), 1u);
  EXPECT_EQ(passedOn[0], transport.RegisterMessage("匹配回复内容"));
}

TEST_F(Channel, EmptyPayloadAndZeroBytesInside) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  FakeSender client(transport);
  client.Send(host, "匹配回复内容", Bytes{'x'});
  client.Send(host, "匹配回复内容", Bytes{});
  EXPECT_TRUE(client.acknowledged());
  EXPECT_EQ(gRuns, 2);
  EXPECT_TRUE(LastPayload("匹配回复内容").empty());  // replaced by the empty one

  const Bytes withZero{'a', 0, 'b', '|', '2'};
  client.Send(host, "匹配回复内容", withZero);
  EXPECT_EQ(LastPayload("匹配回复内容"), withZero);     // stored whole
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), "a");  // as text: up to the zero byte
}

TEST_F(Channel, UnregisteredMessagesPassStraightOnWithoutReading) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  FakeSender client(transport);
  const int opensBefore = transport.processOpens();
  client.Send(host, "未注册", Bytes{'x'});
  transport.Send(host, 0x0010, 0, 0);  // an ordinary window message
  EXPECT_EQ(transport.processOpens(), opensBefore);
  EXPECT_EQ(transport.memoryReads(), 0);
  EXPECT_FALSE(client.acknowledged());
  EXPECT_EQ(gRuns, 0);
  EXPECT_EQ(passedOn.size(), 2u);
}

TEST_F(Channel, RegisteredMessageWithoutHandlerIsStoredAndAcknowledged) {
  ASSERT_TRUE(RegisterHostMessage("子窗口句柄", nullptr));
  SubclassHostWindow(host);
  FakeSender client(transport);
  client.Send(host, "子窗口句柄", ToBytes(Text("1234|0|C:\\t\\s1")));
  EXPECT_TRUE(client.acknowledged());
  EXPECT_EQ(ToText(LastPayload("子窗口句柄")), "1234|0|C:\\t\\s1");
  EXPECT_EQ(passedOn.size(), 1u);
}

TEST_F(Channel, HostileSendsNeverRunAHandlerNorGetAnAcknowledgement) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  FakeSender client(transport);
  client.Send(host, "匹配回复内容", ToBytes(Text("good|1")));
  ASSERT_EQ(gRuns, 1);
  client.payload = ToBytes(Text("0123456789"));  // mapped at kPayloadAt by SendRaw

  const Text name = "匹配回复内容";
  const auto wp = [](const Text& d) {
    return *wire::EncodeWParam(kClientPid, static_cast<std::uint32_t>(d.size()));
  };
  struct Case {
    const char* what;
    Text descriptor;
    std::uint64_t wParam;
    std::int64_t lParam;
  };
  const std::int64_t at = FakeSender::kDescriptorAt;
  const Text ok = wire::BuildDescriptor(FakeSender::kStatusAt, 10, FakeSender::kPayloadAt);
  const std::vector<Case> cases = {
      {"no dollar", "20480 10&28672", wp("20480 10&28672"), at},
      {"no ampersand", "20480$10 28672", wp("20480$10 28672"), at},
      {"negative length", "20480$-5&28672", wp("20480$-5&28672"), at},
      {"absurd length", "20480$2147483647&28672", wp("20480$2147483647&28672"), at},
      {"just over the cap", "20480$1048577&28672", wp("20480$1048577&28672"), at},
      {"length beyond what the sender owns", "20480$11&28672", wp("20480$11&28672"), at},
      {"payload address not mapped", "20480$10&999999", wp("20480$10&999999"), at},
      {"letters", "abc$def&ghi", wp("abc$def&ghi"), at},
      {"descriptor longer than the wire says", ok, wp(ok) + 1, at},
      {"descriptor address not mapped", ok, wp(ok), 0x9999},
      {"lParam zero", ok, wp(ok), 0},
      {"wParam garbage", ok, 5, at},
      {"wParam zero", ok, 0, at},
      {"process that cannot be opened", ok,
       *wire::EncodeWParam(31337, static_cast<std::uint32_t>(ok.size())), at},
      {"huge descriptor length", ok, 1777999, at},
  };
  for (const Case& c : cases) {
    passedOn.clear();
    client.SendRaw(host, name, c.descriptor, c.wParam, c.lParam);
    EXPECT_EQ(gRuns, 1) << c.what;
    EXPECT_FALSE(client.acknowledged()) << c.what;
    EXPECT_EQ(passedOn.size(), 1u) << c.what;                  // still passed on
    EXPECT_EQ(ToText(LastPayload(name)), "good|1") << c.what;  // the last good payload stays
  }
  // The well-formed descriptor through the same path is served.
  client.SendRaw(host, name, ok, wp(ok), at);
  EXPECT_EQ(gRuns, 2);
  EXPECT_TRUE(client.acknowledged());
  EXPECT_EQ(ToText(LastPayload(name)), "0123456789");
}

TEST_F(Channel, FailedAcknowledgementStillServesAReadPayload) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  FakeSender client(transport);
  client.payload = ToBytes(Text("ro|1"));
  const Text d = wire::BuildDescriptor(0xA000, 4, FakeSender::kPayloadAt);  // status not writable
  std::vector<std::uint8_t> readOnly{1};
  transport.MapMemory(kClientPid, 0xA000, &readOnly, false);
  client.SendRaw(host, "匹配回复内容", d,
                 *wire::EncodeWParam(kClientPid, static_cast<std::uint32_t>(d.size())),
                 FakeSender::kDescriptorAt);
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(readOnly[0], 1);
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), "ro|1");
}

namespace {
// The client side for the send tests: reads what the host sends out of the
// host's memory and acknowledges it, like the client's own dispatcher would.
struct ClientWindow {
  explicit ClientWindow(LocalHostTransport& t) : transport(t) {}
  LocalHostTransport& transport;
  Bytes received;
  int messages = 0;
  bool acknowledge = true;
  NativeWindow Create(std::uint64_t pid) {
    return transport.CreateWindow(
        pid, [this](NativeWindow, std::uint32_t, std::uint64_t wp, std::int64_t lp) {
          ++messages;
          const auto f = wire::DecodeWParam(wp);
          if (!f) return std::intptr_t{0};
          auto mem = transport.OpenProcess(f->processId);
          std::string d(f->descriptorLength, '\0');
          if (!mem || !mem->Read(static_cast<std::uint64_t>(lp), d.data(), d.size()))
            return std::intptr_t{0};
          const auto desc = wire::ParseDescriptor(d);
          if (!desc) return std::intptr_t{0};
          received.assign(desc->payloadLength, 0);
          if (!received.empty()) mem->Read(desc->payloadAddress, received.data(), received.size());
          const std::uint8_t two = 2;
          if (acknowledge) mem->Write(desc->statusAddress, &two, 1);
          return std::intptr_t{1};
        });
  }
};
}  // namespace

TEST_F(Channel, SendHostMessageHandsOutLowMemoryAndReportsTheAcknowledgement) {
  ClientWindow client(transport);
  const NativeWindow w = client.Create(kClientPid);
  EXPECT_TRUE(SendHostMessage(w, "开启回复", ToBytes(Text("10"))));
  EXPECT_EQ(ToText(client.received), "10");
  EXPECT_TRUE(SendHostMessage(w, "停止回复", Bytes{0}));
  EXPECT_EQ(client.received, Bytes{0});
  EXPECT_TRUE(SendHostMessage(w, "子夹改变", Bytes{}));
  EXPECT_TRUE(client.received.empty());
  client.acknowledge = false;
  EXPECT_FALSE(SendHostMessage(w, "子夹改变", ToBytes(Text("2"))));
  EXPECT_EQ(transport.liveExchangeBlocks(), 0u);  // every block is given back
}

TEST_F(Channel, SendToAGoneWindowSendsNothing) {
  ClientWindow client(transport);
  const NativeWindow w = client.Create(kClientPid);
  transport.DestroyWindow(w);
  EXPECT_FALSE(SendHostMessage(w, "开启回复", ToBytes(Text("10"))));
  EXPECT_FALSE(SendHostMessage(0, "开启回复", ToBytes(Text("10"))));
  EXPECT_EQ(client.messages, 0);
}

TEST_F(Channel, PayloadsAboveTheCapAreNotSent) {
  ClientWindow client(transport);
  const NativeWindow w = client.Create(kClientPid);
  EXPECT_FALSE(SendHostMessage(w, "匹配回复内容", Bytes(wire::kMaxPayload + 1, 'x')));
  EXPECT_EQ(client.messages, 0);
  EXPECT_TRUE(SendHostMessage(w, "匹配回复内容", Bytes(wire::kMaxPayload, 'x')));
  EXPECT_EQ(client.received.size(), wire::kMaxPayload);
}

TEST(ChannelPid, SevenDigitProcessIdsCannotSend) {
  LocalHostTransport transport(1234567);
  SetHostTransport(&transport);
  ClientWindow client(transport);
  const NativeWindow w = client.Create(kClientPid);
  EXPECT_FALSE(SendHostMessage(w, "开启回复", ToBytes(Text("10"))));
  EXPECT_EQ(client.messages, 0);
  SetHostTransport(nullptr);
}

namespace {
LocalHostTransport* gNested = nullptr;
NativeWindow gNestedClient = 0;
bool gReplyResult = false;
void ReplyingHandler() {
  // Answer the client while its request is still in progress.
  const Text text = ToText(LastPayload("匹配回复内容"));
  gReplyResult = SendHostMessage(gNestedClient, "匹配回复内容", ToBytes("回复:" + text));
}
}  // namespace

TEST_F(Channel, NestedExchangeAnswersTheClientDuringItsOwnSend) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", ReplyingHandler));
  SubclassHostWindow(host);
  ClientWindow replies(transport);
  gNested = &transport;
  gNestedClient = replies.Create(kClientPid);
  FakeSender client(transport);
  client.Send(host, "匹配回复内容", ToBytes(Text("你好|1")));
  EXPECT_TRUE(client.acknowledged());
  EXPECT_TRUE(gReplyResult);
  EXPECT_EQ(ToText(replies.received), "回复:你好|1");
  EXPECT_EQ(transport.liveExchangeBlocks(), 0u);
}

TEST_F(Channel, PayloadBehindTheDescriptorIsTakenFromOneRead) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  FakeSender client(transport);
  // Status byte, descriptor and payload in one stretch of the sender's memory.
  constexpr std::uint64_t kBase = 0x20000;
  std::vector<std::uint8_t> memory(8192, 0xEE);
  transport.MapMemory(kClientPid, kBase, &memory);
  const auto send = [&](std::uint64_t payloadOffset, const Text& text) {
    memory[0] = 1;
    std::copy(text.begin(), text.end(),
              memory.begin() + static_cast<std::ptrdiff_t>(payloadOffset));
    const Text d = wire::BuildDescriptor(kBase, static_cast<std::uint32_t>(text.size()),
                                         static_cast<std::uint32_t>(kBase + payloadOffset));
    std::copy(d.begin(), d.end(), memory.begin() + 1);
    const int readsBefore = transport.memoryReads();
    transport.Send(host, transport.RegisterMessage("匹配回复内容"),
                   *wire::EncodeWParam(kClientPid, static_cast<std::uint32_t>(d.size())),
                   static_cast<std::int64_t>(kBase + 1));
    return transport.memoryReads() - readsBefore;
  };
  EXPECT_EQ(send(64, "近处|1"), 1);  // inside the look-ahead: one read
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), "近处|1");
  EXPECT_EQ(memory[0], 2);
  const Text far(300, 'f');
  EXPECT_EQ(send(1900, far), 2);  // runs past the look-ahead: read on its own
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), far);
  EXPECT_EQ(send(6000, "远处"), 2);
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), "远处");
  EXPECT_EQ(gRuns, 3);
  transport.UnmapMemory(kClientPid, kBase);
}

TEST_F(Channel, OnlyARequestInProgressIsServedAndOnlyFromAcceptedSenders) {
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", CountingHandler));
  SubclassHostWindow(host);
  // A descriptor whose status byte is no longer 1 (a request answered
  // before, named again by a process claiming the sender's id) is not served.
  constexpr std::uint64_t kBase = 0x20000;
  std::vector<std::uint8_t> memory(256, 0);
  transport.AddProcess(kClientPid);
  transport.MapMemory(kClientPid, kBase, &memory);
  const Text d = wire::BuildDescriptor(kBase, 4, kBase + 64);
  std::copy(d.begin(), d.end(), memory.begin() + 1);
  std::copy_n("在|1", 4, memory.begin() + 64);
  const auto send = [&](std::uint8_t status) {
    memory[0] = status;
    transport.Send(host, transport.RegisterMessage("匹配回复内容"),
                   *wire::EncodeWParam(kClientPid, static_cast<std::uint32_t>(d.size())),
                   static_cast<std::int64_t>(kBase + 1));
  };
  send(2);
  send(0);
  EXPECT_EQ(gRuns, 0);
  send(1);
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(memory[0], 2);
  EXPECT_EQ(LastSender("匹配回复内容"), kClientPid);

  // A sender the check refuses is not even read.
  SetHostSenderCheck([](std::uint64_t pid) { return pid != kClientPid; });
  const int reads = transport.memoryReads();
  send(1);
  SetHostSenderCheck(nullptr);
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(transport.memoryReads(), reads);
  EXPECT_EQ(memory[0], 1);
  transport.UnmapMemory(kClientPid, kBase);
}
