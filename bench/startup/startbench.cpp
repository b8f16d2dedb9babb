// Start-up with 0, 10,000 and 100,000 shop-like rules, timed under Wine.
// Every start runs in a fresh process in a folder of its own that holds the
// rule table, in two ways:
//   Quillane.exe  the program itself: milliseconds from CreateProcess until
//                 its main window is visible
//   in-process    a copy of this program that runs the real start-up code on
//                 the real window backend and prints, in milliseconds:
//                   window  from process creation until the main window is shown
//                   first   a request made right then: how long until it is answered
//                   sorted  from the window until the sorted copy is rebuilt
//                   stall   the longest the window thread did not get to its
//                           5 ms timer from the first request until the sorted
//                           copy was rebuilt
// Min and median of three starts each.
//   startbench.exe [rule counts...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../shop_rules.h"
#include "app/main_window.h"
#include "app/reply_service.h"
#include "app/settings_window.h"
#include "app/startup.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "services/unique_handle.h"
#include "table/engine.h"
#include "ui/runtime.h"
#include "ui/win32_backend.h"

using namespace quillane;

namespace {

constexpr int kStarts = 3;
constexpr DWORD kGiveUpMs = 300000;

double NowMs() {
  LARGE_INTEGER c, f;
  QueryPerformanceCounter(&c);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Milliseconds since this process was created.
double ProcessAgeMs() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimePreciseAsFileTime(&now);
  auto ticks = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

std::wstring ThisProgram() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// Runs `line` in `folder` and waits for it; its exit code.
DWORD RunAndWait(const std::wstring& line, const std::wstring& folder) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring command = line;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &si, &pi)) {
    return 1;
  }
  const UniqueHandle thread(pi.hThread), process(pi.hProcess);
  WaitForSingleObject(process.get(), kGiveUpMs);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

// --- In the copy: the real start-up --------------------------------------

struct Watch {
  double window = 0, first = 0, sorted = 0, stall = 0, lastTick = 0, windowAt = 0;
};
Watch watch;
FILE* report = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  const double now = NowMs();
  watch.stall = std::max(watch.stall, now - watch.lastTick);
  watch.lastTick = now;
  // The rebuild holds the engine's lock while it runs; a try keeps the
  // window thread from waiting for it here.
  std::recursive_mutex& engine = TableEngineLock();
  if (!engine.try_lock()) return;
  const bool sorted = IsSortedCopyOpen();
  engine.unlock();
  if (!sorted) return;
  watch.sorted = now - watch.windowAt;
  std::fprintf(report, "%.1f %.1f %.1f %.1f\n", watch.window, watch.first, watch.sorted,
               watch.stall);
  std::fclose(report);
  ExitProcess(0);
}

int StartInProcess(const Text& hit) {
  ui::Runtime runtime(ui::CreateWin32Backend());
  BindMainWindowHandlers();
  BindSettingsWindowHandlers();
  if (!StartUp()) return 2;
  watch.window = ProcessAgeMs();
  watch.windowAt = NowMs();
  MatchCustomerText(hit);
  watch.lastTick = NowMs();
  watch.first = watch.lastTick - watch.windowAt;
  SetTimer(nullptr, 0, 5, Tick);
  return ui::RunMessageLoop();
}

// --- The driver ----------------------------------------------------------

struct WindowSearch {
  DWORD process;
  bool found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process && IsWindowVisible(window)) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

// Milliseconds from CreateProcess of Quillane.exe in `folder` until its main
// window is visible; the process is ended then.
double TimeQuillane(const std::wstring& folder) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + folder + L"\\Quillane.exe\"";
  const double t0 = NowMs();
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &si, &pi)) {
    return -1;
  }
  const UniqueHandle thread(pi.hThread), process(pi.hProcess);
  double shown = -1;
  while (NowMs() - t0 < kGiveUpMs) {
    WindowSearch search{pi.dwProcessId, false};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      shown = NowMs() - t0;
      break;
    }
    if (WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) break;
  }
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 5000);
  return shown;
}

struct Figure {
  double min = 0, median = 0;
};
Figure Of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2]};
}

// Writes a rule table of `count` rules into `folder`, as a save does.
bool MakeRuleTable(const Text& folder, int count) {
  if (!WriteBytesToFile(folder + kRuleTableFile, MakeEmptyRuleTable()) || !OpenRuleTable(folder)) {
    return false;
  }
  bench::ShopRuleMaker maker;
  const bool ok = ReplaceRules(folder, maker.Rules(count)) == RuleStoreResult::Ok;
  table::CloseAllTables();
  return ok;
}

int Drive(const std::vector<int>& counts) {
  const std::wstring self = ThisProgram();
  const std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::printf("milliseconds, min / median of %d starts\n", kStarts);
  std::printf("%8s %14s %14s %14s %14s %14s\n", "rules", "Quillane.exe", "window", "first",
              "sorted", "stall");
  for (const int count : counts) {
    const std::wstring folder = std::wstring(temp) + L"quillane-start-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(count);
    CreateDirectoryW(folder.c_str(), nullptr);
    const Text folderText(folder.begin(), folder.end());
    const double m0 = NowMs();
    if (!MakeRuleTable(folderText, count)) {
      std::printf("could not write %d rules\n", count);
      return 1;
    }
    const double madeMs = NowMs() - m0;
    CopyFileW((bin + L"\\Quillane.exe").c_str(), (folder + L"\\Quillane.exe").c_str(), FALSE);
    CopyFileW(self.c_str(), (folder + L"\\startbench.exe").c_str(), FALSE);

    std::vector<double> exe, window, first, sorted, stall;
    for (int s = 0; s < kStarts; ++s) {
      exe.push_back(TimeQuillane(folder));
      // The in-process start prints its figures into a file beside it.
      const std::wstring out = folder + L"\\start.txt";
      DeleteFileW(out.c_str());
      const std::wstring line = L"\"" + folder + L"\\startbench.exe\" --start \"" + out + L"\"";
      if (RunAndWait(line, folder) != 0) {
        std::printf("the start in %ls failed\n", folder.c_str());
        return 1;
      }
      double w = 0, f = 0, so = 0, st = 0;
      FILE* in = _wfopen(out.c_str(), L"r");
      const bool read = in && std::fscanf(in, "%lf %lf %lf %lf", &w, &f, &so, &st) == 4;
      if (in) std::fclose(in);
      if (!read) {
        std::printf("no figures from the start in %ls\n", folder.c_str());
        return 1;
      }
      window.push_back(w);
      first.push_back(f);
      sorted.push_back(so);
      stall.push_back(st);
    }
    auto cell = [](const std::vector<double>& v) {
      const Figure f = Of(v);
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.0f / %.0f", f.min, f.median);
      return std::string(buffer);
    };
    std::printf("%8d %14s %14s %14s %14s %14s   (table written in %.0f ms)\n", count,
                cell(exe).c_str(), cell(window).c_str(), cell(first).c_str(), cell(sorted).c_str(),
                cell(stall).c_str(), madeMs);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--start") {
    report = std::fopen(argv[2], "w");
    if (!report) return 3;
    // The driver's rules begin with this one (the same maker, the same
    // seed); its first keyword hits.
    bench::ShopRuleMaker maker;
    return StartInProcess(SplitText(maker.Rules(1)[0].keywords, "|")[0]);
  }
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::max(0, std::atoi(argv[i])));
  if (counts.empty()) counts = {0, 10000, 100000};
  return Drive(counts);
}
