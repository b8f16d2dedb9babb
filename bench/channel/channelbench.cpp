// Round trips of a client request under Wine, between two processes, against
// the real request handler and, in the same run, against the fewest calls the
// wire needs.
//
//   real     the client sends "匹配回复内容" through the host channel; the host
//            serves it with the program's own request handler (sender check,
//            routing by sender through the shop list, the reply rules) and
//            answers with a send of its own while the client's send is under
//            way. The client was started and bound as the program starts and
//            binds a shop's client; the host window is a tab strip subclassed
//            as the program's is.
//   minimal  the same wire by hand: two nested SendMessageA calls, each
//            receiver reading the sender's status byte, descriptor and payload
//            with one ReadProcessMemory and acknowledging with one
//            WriteProcessMemory, process handles opened once beforehand.
//   sends    two nested SendMessageA calls alone.
//
// With 0, 10,000 and 100,000 rules (Chinese keywords of 2 to 8 characters;
// customer texts of 5 to 60 characters, half of them answered by a rule). Each
// repetition times `n` round trips of each kind, the kinds taking turns in
// batches of 50; min and median of the repetitions' means are printed with the
// ratios, and the breakdown of a real round trip: the sends, two reads, two
// writes (each timed on its own, in the same turns), the rule lookup and the
// passing on of the request to the tab strip's procedure (both timed in the
// host) and the rest.
//
//   channelbench.exe [round trips per repetition, default 2000] [repetitions, default 5]
//                    [most rules, default 100000]
// starts a copy of itself as the client ("--client <host windows> <n> <reps> <most>").
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/client_windows.h"
#include "app/reply_service.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "channel/exchange_area.h"
#include "channel/host_channel.h"
#include "channel/host_wire.h"
#include "channel/messages.h"
#include "rules/reply_rules.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "services/text.h"
#include "services/unique_handle.h"
#include "services/values.h"
#include "table/engine.h"
#include "ui/win32_controls.h"

using namespace quillane;

namespace {

// Messages of the benchmark's plain windows (not the channel's).
constexpr UINT kHello = WM_APP + 1;          // client -> host: wParam the client's plain window
constexpr UINT kLoadRules = WM_APP + 2;      // wParam the rule count; the host saves and loads them
constexpr UINT kTimeLookups = WM_APP + 3;    // wParam n: nanoseconds of n lookups in the host
constexpr UINT kTimePassingOn = WM_APP + 7;  // wParam n: nanoseconds of n messages passed on
constexpr UINT kRawOuter = WM_APP + 4;       // the host answers with kRawInner
constexpr UINT kRawInner = WM_APP + 5;
constexpr UINT kMinimal = WM_APP + 6;  // the minimal wire, both ways

constexpr int kRuleCounts[] = {0, 10000, 100000};
constexpr int kTexts = 64;

// ---- realistic rules and customer texts -------------------------------------

class ShopData {
 public:
  ShopData() : rng_(20240613) {}

  // One GB2312 level-1 character (keywords and hits) or level-2 one (texts
  // around them, never part of a keyword).
  Text Char(bool common) {
    Text c;
    c += static_cast<char>(common ? Pick(0xB0, 0xD7) : Pick(0xD8, 0xF7));
    c += static_cast<char>(Pick(0xA1, 0xFE));
    return c;
  }
  Text Word(int lo, int hi, bool common) {
    Text w;
    for (int i = Pick(lo, hi); i > 0; --i) w += Char(common);
    return w;
  }

  // Rules as staff write them: one to four keywords, mostly "包含", match
  // codes 0 to 9. The first k rules of any count are the same.
  std::vector<RuleRow> Rules(int count) {
    rng_.seed(7);
    std::vector<RuleRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      RuleRow r;
      for (int k = Pick(1, 4); k > 0; --k) {
        r.keywords += (r.keywords.empty() ? "" : "|") + Word(2, 8, true);
      }
      r.reply = "亲，" + Word(4, 14, true) + "。";
      r.matchRule = Pick(0, 9) < 8 ? "包含" : "完全匹配";
      r.matchCode = ToText(Pick(0, 9));
      rows.push_back(std::move(r));
    }
    return rows;
  }

  // Customer texts of 5 to 60 characters. A containment rule answers a text
  // that occurs in one of its keywords, so every other text is a piece of at
  // least 5 characters of a keyword of one of the first 10,000 rules; the
  // others are made of characters no keyword holds.
  std::vector<Text> Texts() {
    const std::vector<RuleRow> rules = Rules(10000);
    std::vector<Text> longKeywords;
    for (const RuleRow& r : rules) {
      for (const Text& k : SplitText(r.keywords, "|")) {
        if (k.size() >= 10) longKeywords.push_back(k);
      }
    }
    rng_.seed(11);
    std::vector<Text> texts;
    for (int i = 0; i < kTexts; ++i) {
      if (i % 2 == 0) {
        const Text& k = longKeywords[static_cast<std::size_t>(
            Pick(0, static_cast<int>(longKeywords.size()) - 1))];
        const int chars = static_cast<int>(k.size() / 2);
        const int length = Pick(5, chars);
        const int from = Pick(0, chars - length);
        texts.push_back(
            k.substr(static_cast<std::size_t>(2 * from), static_cast<std::size_t>(2 * length)));
      } else {
        texts.push_back(Word(5, 60, false));
      }
    }
    return texts;
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::mt19937 rng_;
};

// ---- timing -------------------------------------------------------------------

double NowMicros() {
  static const double perMicro = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMicro;
}

struct MinMedian {
  double min = 0;
  double median = 0;
};

MinMedian Summarize(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2]};
}

// ---- the minimal wire ---------------------------------------------------------

// A sender's block as the wire lays it out: status byte, descriptor, payload;
// below 2 GiB, as the 32-bit wire needs.
struct WireBlock {
  static constexpr std::size_t kDescriptorRoom = 32;
  static constexpr std::size_t kPayloadRoom = 256;
  static constexpr std::size_t kSize = 1 + kDescriptorRoom + kPayloadRoom;
  ExchangeArea area{1u << 16};
  std::uint8_t* bytes = area.Allocate(kSize);
  std::uint32_t descriptorLength = 0;

  // Fills the block for `payload`; returns the wParam to send with.
  WPARAM Fill(const Text& payload) {
    const auto at = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(bytes));
    const std::uint32_t length = static_cast<std::uint32_t>(payload.size());
    const Text d = wire::BuildDescriptor(at, length, at + 1 + kDescriptorRoom);
    bytes[0] = wire::kStatusSent;
    std::copy(d.begin(), d.end(), bytes + 1);
    std::copy(payload.begin(), payload.end(), bytes + 1 + kDescriptorRoom);
    descriptorLength = static_cast<std::uint32_t>(d.size());
    return *wire::EncodeWParam(GetCurrentProcessId(), descriptorLength);
  }
  LPARAM Descriptor() const { return reinterpret_cast<LPARAM>(bytes + 1); }
};

// The receiving side: one read of status, descriptor and payload, one write
// of the acknowledgement. The payload is copied out, as a receiver keeps it.
bool ReceiveMinimal(HANDLE sender, WPARAM wParam, LPARAM lParam, Text& payload) {
  const auto fields = wire::DecodeWParam(wParam);
  if (!fields) return false;
  std::uint8_t raw[WireBlock::kSize];
  SIZE_T done = 0;
  const auto from = static_cast<std::uintptr_t>(lParam) - 1;
  if (!ReadProcessMemory(sender, reinterpret_cast<LPCVOID>(from), raw, sizeof raw, &done)) {
    return false;
  }
  const auto d = wire::ParseDescriptor(
      std::string_view(reinterpret_cast<const char*>(raw) + 1, fields->descriptorLength));
  if (!d || raw[0] != wire::kStatusSent) return false;
  const std::size_t offset = static_cast<std::size_t>(d->payloadAddress - from);
  if (offset + d->payloadLength > sizeof raw) return false;
  payload.assign(reinterpret_cast<const char*>(raw) + offset, d->payloadLength);
  const std::uint8_t ack = wire::kStatusAcknowledged;
  return WriteProcessMemory(sender, reinterpret_cast<LPVOID>(from), &ack, 1, &done) != 0;
}

// ---- the host -------------------------------------------------------------------

struct HostState {
  HWND clientPlain = nullptr;
  UniqueHandle client;  // for the minimal wire, opened once
  WireBlock block;
  Text received;
  Text ruleFolder;
  std::vector<Text> texts;
  HWND tabStrip = nullptr;
  WNDPROC beforeChannel = nullptr;  // the tab strip's procedure under the dispatcher
} gHost;

const Text kMinimalReply = "亲，在的，请问有什么可以帮您？";
const Text kDefaultReply = "亲，您好，请稍等，马上为您查询。";

// What the program does when a client announces itself, less the embedding of
// its window: the window must be the sender's own, and the shop list binds it
// only to the shop whose client process it is.
void HostOnAnnounce() {
  const auto sender = static_cast<std::uint32_t>(LastSender(kAnnounceMessage));
  const std::vector<Text> fields = SplitText(ToText(LastPayload(kAnnounceMessage)), "|");
  if (fields.size() < 3) return;
  const auto window =
      static_cast<std::uintptr_t>(static_cast<std::uint32_t>(ToWideInteger(fields[0])));
  if (window == 0 || Clients().ProcessOf(window) != sender) return;
  Shops().Announce(sender, window, fields[2], [sender](std::uint32_t started) {
    return Clients().IsClientProcess(sender, started);
  });
}

// Saves `count` rules as the settings window does and loads them as the
// program does after a save. Returns the milliseconds it took.
LRESULT LoadRules(int count) {
  const double t0 = NowMicros();
  ShopData data;
  if (ReplaceRules(gHost.ruleFolder, data.Rules(count)) != RuleStoreResult::Ok ||
      RebuildSortedCopy(gHost.ruleFolder, true) != RuleStoreResult::Ok) {
    return -1;
  }
  ReloadReplyRules();
  int hits = 0;
  for (const Text& t : gHost.texts) hits += MatchCustomerText(t) != kDefaultReply;
  std::printf("host: %d of %d texts hit a rule\n", hits, kTexts);
  return static_cast<LRESULT>((NowMicros() - t0) / 1000);
}

LRESULT TimeLookups(int n) {
  std::size_t total = 0;
  const double t0 = NowMicros();
  for (int i = 0; i < n; ++i) {
    total += MatchCustomerText(gHost.texts[static_cast<std::size_t>(i % kTexts)]).size();
  }
  const double t = NowMicros() - t0;
  return total == 0 ? -1 : static_cast<LRESULT>(t * 1000);
}

// What the dispatcher's passing on of a message to the tab strip's procedure
// costs, for a message nobody handles.
LRESULT TimePassingOn(int n) {
  const double t0 = NowMicros();
  for (int i = 0; i < n; ++i)
    CallWindowProcW(gHost.beforeChannel, gHost.tabStrip, WM_APP + 99, 0, 0);
  return static_cast<LRESULT>((NowMicros() - t0) * 1000);
}

LRESULT CALLBACK HostProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  switch (m) {
    case kHello: {
      gHost.clientPlain = reinterpret_cast<HWND>(wp);
      DWORD pid = 0;
      GetWindowThreadProcessId(gHost.clientPlain, &pid);
      gHost.client = UniqueHandle(OpenProcess(
          PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION,
          FALSE, pid));
      return gHost.client ? 1 : 0;
    }
    case kLoadRules:
      return LoadRules(static_cast<int>(wp));
    case kTimeLookups:
      return TimeLookups(static_cast<int>(wp));
    case kTimePassingOn:
      return TimePassingOn(static_cast<int>(wp));
    case kRawOuter:
      return SendMessageA(gHost.clientPlain, kRawInner, 0, 0);
    case kMinimal:
      if (!ReceiveMinimal(gHost.client.get(), wp, lp, gHost.received)) return 0;
      return SendMessageA(gHost.clientPlain, kMinimal, gHost.block.Fill(kMinimalReply),
                          gHost.block.Descriptor());
  }
  return DefWindowProcW(w, m, wp, lp);
}

HWND MakeWindow(const wchar_t* className, WNDPROC procedure) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = className;
  RegisterClassW(&wc);
  return CreateWindowExW(0, className, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

// A fresh rule folder in the temporary folder, with an empty rule table open
// and its sorted copy made, as at a first start.
bool PrepareRuleFolder() {
  char temp[MAX_PATH];
  if (GetTempPathA(MAX_PATH, temp) == 0) return false;
  gHost.ruleFolder = Text(temp) + "quillane-channelbench-" + ToText(GetCurrentProcessId());
  DeleteDirectoryTree(gHost.ruleFolder);
  if (!MakeSureDirectoryPathExists(gHost.ruleFolder + "\\")) return false;
  return WriteBytesToFile(gHost.ruleFolder + kRuleTableFile, MakeEmptyRuleTable()) &&
         table::OpenTable(gHost.ruleFolder + kRuleTableFile, kRuleTableAlias, kRulePassword) &&
         RebuildSortedCopy(gHost.ruleFolder, false) == RuleStoreResult::Ok;
}

int Host(int n, int reps, int mostRules) {
  if (!PrepareRuleFolder()) {
    std::printf("could not prepare the rule folder\n");
    return 1;
  }
  Settings().defaultReply = kDefaultReply;
  gHost.texts = ShopData().Texts();
  const HWND plain = MakeWindow(L"QuillaneBenchHostPlain", HostProcedure);
  // The program's host window is the tab strip of its main window, which the
  // window layer has subclassed (to forward its children's notices) before
  // the channel puts its dispatcher in front: every message the channel
  // passes on goes through that subclass and the tab strip's own procedure.
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TAB_CLASSES};
  InitCommonControlsEx(&classes);
  const HWND main = MakeWindow(L"QuillaneBenchHostMain", DefWindowProcW);
  const HWND channel = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD, 0, 0, 100, 100, main,
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
  ui::SubclassTabStrip(channel);
  // As the main window does: the channel, the sender check, the handlers.
  gHost.tabStrip = channel;
  gHost.beforeChannel = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(channel, GWLP_WNDPROC));
  SubclassHostWindow(reinterpret_cast<NativeWindow>(channel));
  SetHostSenderCheck(IsShopProcess);
  RegisterHostMessage(kAnnounceMessage, HostOnAnnounce);
  RegisterHostMessage(kMatchRequestMessage, OnMatchRequest);

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  char selfA[MAX_PATH * 2];
  WideCharToMultiByte(CP_ACP, 0, self, -1, selfA, sizeof selfA, nullptr, nullptr);
  const Text commandLine =
      "\"" + Text(selfA) + "\" --client " +
      ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(channel))) + " " +
      ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(plain))) + " " +
      ToText(n) + " " + ToText(reps) + " " + ToText(mostRules);
  // As the main window adds a shop: its entry first, then its client.
  const int number = Shops().Add(0);
  std::uint32_t clientId = 0;
  if (!Clients().Start(commandLine, [&](std::uint32_t processId) {
        clientId = processId;
        Shops().SetProcessId(number, processId);
      })) {
    std::printf("could not start the client\n");
    return 1;
  }
  const UniqueHandle client(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, clientId));
  for (HANDLE h = client.get(); h;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DWORD code = 1;
  if (client) GetExitCodeProcess(client.get(), &code);
  Clients().Terminate(clientId);
  table::CloseAllTables();
  DeleteDirectoryTree(gHost.ruleFolder);
  return static_cast<int>(code);
}

// ---- the client -----------------------------------------------------------------

struct ClientState {
  HWND hostChannel = nullptr;
  HWND hostPlain = nullptr;
  UniqueHandle host;  // for the minimal wire, opened once
  WireBlock block;
  Text received;
  Text reply;
  bool replied = false;
} gClient;

void ClientOnReply() {
  gClient.reply = ToText(LastPayload(kMatchRequestMessage));
  gClient.replied = !gClient.reply.empty();
}

LRESULT CALLBACK ClientProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  switch (m) {
    case kRawInner:
      return 1;
    case kMinimal:
      gClient.replied = ReceiveMinimal(gClient.host.get(), wp, lp, gClient.received);
      return 1;
  }
  return DefWindowProcW(w, m, wp, lp);
}

// One round trip of each kind; true when the reply arrived and was acknowledged.
bool RealTrip(const Bytes& request) {
  gClient.replied = false;
  return SendHostMessage(reinterpret_cast<NativeWindow>(gClient.hostChannel), kMatchRequestMessage,
                         request) &&
         gClient.replied;
}
bool MinimalTrip(const Text& request) {
  gClient.replied = false;
  SendMessageA(gClient.hostPlain, kMinimal, gClient.block.Fill(request),
               gClient.block.Descriptor());
  return gClient.replied && gClient.block.bytes[0] == wire::kStatusAcknowledged;
}
bool SendsTrip() { return SendMessageA(gClient.hostPlain, kRawOuter, 0, 0) == 1; }

// Microseconds per call of `trip` over n calls; failures are counted.
template <typename F>
double MicrosPer(int n, int& failed, F trip) {
  const double t0 = NowMicros();
  for (int i = 0; i < n; ++i) {
    if (!trip(i)) ++failed;
  }
  return (NowMicros() - t0) / n;
}

void PrintRow(const char* name, const MinMedian& f, const MinMedian& minimal) {
  std::printf("  %-26s min %8.2f us  median %8.2f us   x minimal: min %.2f  median %.2f\n", name,
              f.min, f.median, f.min / minimal.min, f.median / minimal.median);
}

int Client(HWND hostChannel, HWND hostPlain, int n, int reps, int mostRules) {
  gClient.hostChannel = hostChannel;
  gClient.hostPlain = hostPlain;
  const HWND channel = MakeWindow(L"QuillaneBenchClientChannel", DefWindowProcW);
  const HWND plain = MakeWindow(L"QuillaneBenchClientPlain", ClientProcedure);
  RegisterHostMessage(kMatchRequestMessage, ClientOnReply);
  SubclassHostWindow(reinterpret_cast<NativeWindow>(channel));
  DWORD hostId = 0;
  GetWindowThreadProcessId(hostPlain, &hostId);
  gClient.host = UniqueHandle(OpenProcess(
      PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION, FALSE,
      hostId));
  if (!gClient.host || SendMessageA(hostPlain, kHello, reinterpret_cast<WPARAM>(plain), 0) != 1) {
    std::printf("the host's process could not be opened\n");
    return 1;
  }
  const Text announce =
      ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(channel))) +
      "|0|C:\\bench";
  if (!SendHostMessage(reinterpret_cast<NativeWindow>(hostChannel), kAnnounceMessage,
                       ToBytes(announce))) {
    std::printf("the host did not acknowledge the announcement\n");
    return 1;
  }

  const std::vector<Text> texts = ShopData().Texts();
  std::vector<Bytes> requests;
  std::vector<Text> plainRequests;
  for (const Text& t : texts) {
    requests.push_back(ToBytes(t + "|1"));
    plainRequests.push_back(t + "|1");
  }
  const auto real = [&](int i) { return RealTrip(requests[static_cast<std::size_t>(i % kTexts)]); };
  const auto minimal = [&](int i) {
    return MinimalTrip(plainRequests[static_cast<std::size_t>(i % kTexts)]);
  };
  const auto sends = [](int) { return SendsTrip(); };
  // The reads and writes of one direction, each on its own.
  std::uint8_t raw[WireBlock::kSize];
  const auto read = [&](int) {
    SIZE_T done = 0;
    return ReadProcessMemory(gClient.host.get(),
                             reinterpret_cast<LPCVOID>(gClient.block.Descriptor() - 1), raw,
                             sizeof raw, &done) != 0;
  };
  // Writes the acknowledgement into the host's own minimal block, idle now.
  const auto write = [&](int) {
    SIZE_T done = 0;
    const std::uint8_t ack = wire::kStatusAcknowledged;
    return WriteProcessMemory(gClient.host.get(),
                              reinterpret_cast<LPVOID>(gClient.block.Descriptor() - 1), &ack, 1,
                              &done) != 0;
  };

  std::printf(
      "channelbench: %d round trips per repetition, %d repetitions, times per round "
      "trip\n",
      n, reps);
  int failedAll = 0;
  for (int count : kRuleCounts) {
    if (count > mostRules) break;
    const LRESULT loadMs = SendMessageA(hostPlain, kLoadRules, static_cast<WPARAM>(count), 0);
    if (loadMs < 0) {
      std::printf("the host could not save and load %d rules\n", count);
      return 1;
    }
    int failed = 0;
    int hits = 0;
    for (int i = 0; i < 300; ++i) {  // warm up, counting the replies a rule gave
      if (real(i) && gClient.reply != kDefaultReply) ++hits;
      minimal(i);
      sends(i);
    }
    std::vector<double> tReal, tMinimal, tSends, tRead, tWrite, tLookup, tPassingOn;
    for (int r = 0; r < reps; ++r) {
      // The kinds take turns in small batches, so that each sees the same
      // load of the machine; the batches of a kind add up to n round trips.
      constexpr int kBatch = 50;
      double sum[5] = {};
      for (int done = 0; done < n; done += kBatch) {
        const int m = std::min(kBatch, n - done);
        for (int k = 0; k < 5; ++k) {
          const int kind = (k + done / kBatch) % 5;
          switch (kind) {
            case 0:
              sum[0] += m * MicrosPer(m, failed, real);
              break;
            case 1:
              sum[1] += m * MicrosPer(m, failed, minimal);
              break;
            case 2:
              sum[2] += m * MicrosPer(m, failed, sends);
              break;
            case 3:
              sum[3] += m * MicrosPer(m, failed, read);
              break;
            case 4:
              sum[4] += m * MicrosPer(m, failed, write);
              break;
          }
        }
      }
      tReal.push_back(sum[0] / n);
      tMinimal.push_back(sum[1] / n);
      tSends.push_back(sum[2] / n);
      tRead.push_back(sum[3] / n);
      tWrite.push_back(sum[4] / n);
      const LRESULT ns = SendMessageA(hostPlain, kTimeLookups, static_cast<WPARAM>(n), 0);
      if (ns < 0) ++failed;
      tLookup.push_back(static_cast<double>(ns) / 1000.0 / n);
      const LRESULT passNs = SendMessageA(hostPlain, kTimePassingOn, static_cast<WPARAM>(n), 0);
      tPassingOn.push_back(static_cast<double>(passNs) / 1000.0 / n);
    }
    failedAll += failed;
    const MinMedian fReal = Summarize(tReal), fMinimal = Summarize(tMinimal),
                    fSends = Summarize(tSends), fRead = Summarize(tRead),
                    fWrite = Summarize(tWrite), fLookup = Summarize(tLookup),
                    fPassingOn = Summarize(tPassingOn);
    std::printf(
        "\n%d rules (saved and loaded in %ld ms): %d of 300 requests answered by a rule, "
        "%d failed round trips\n",
        count, static_cast<long>(loadMs), hits, failed);
    PrintRow("real request handler", fReal, fMinimal);
    PrintRow("minimal wire", fMinimal, fMinimal);
    PrintRow("two nested sends", fSends, fMinimal);
    const double reads = 2 * fRead.median, writes = 2 * fWrite.median;
    std::printf(
        "  breakdown of a real round trip (medians, us): sends %.2f  reads 2 x %.2f  "
        "writes 2 x %.2f  lookup %.2f  passing the request on to the tab strip %.2f  "
        "rest %.2f\n",
        fSends.median, fRead.median, fWrite.median, fLookup.median, fPassingOn.median,
        fReal.median - fSends.median - reads - writes - fLookup.median - fPassingOn.median);
    std::printf("  the minimal wire less its sends, reads and writes: %.2f us\n",
                fMinimal.median - fSends.median - reads - writes);
    std::vector<double> paired, pairedBare;
    for (std::size_t r = 0; r < tReal.size(); ++r) {
      paired.push_back(tReal[r] / tMinimal[r]);
      pairedBare.push_back((tReal[r] - tPassingOn[r]) / tMinimal[r]);
    }
    const MinMedian fPaired = Summarize(paired), fBare = Summarize(pairedBare);
    std::printf(
        "  ratio real/minimal: of the mins %.3f, of the medians %.3f; within each "
        "repetition min %.3f median %.3f (target at most 1.1)\n",
        fReal.min / fMinimal.min, fReal.median / fMinimal.median, fPaired.min, fPaired.median);
    std::printf(
        "  the same less the passing on to the tab strip: within each repetition min %.3f "
        "median %.3f\n",
        fBare.min, fBare.median);
    std::fflush(stdout);
  }
  return failedAll == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 7 && std::string(argv[1]) == "--client") {
    const auto window = [](const char* s) {
      return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(s, nullptr, 10)));
    };
    return Client(window(argv[2]), window(argv[3]), std::max(100, std::atoi(argv[4])),
                  std::max(3, std::atoi(argv[5])), std::atoi(argv[6]));
  }
  const int n = argc >= 2 ? std::max(100, std::atoi(argv[1])) : 2000;
  const int reps = argc >= 3 ? std::max(3, std::atoi(argv[2])) : 5;
  const int most = argc >= 4 ? std::atoi(argv[3]) : 100000;
  return Host(n, reps, most);
}
