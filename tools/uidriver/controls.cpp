// The commands on controls whose messages carry pointers: the program's
// process must read and write them in its own memory.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "driver.h"
#include "services/unique_handle.h"

namespace uidriver {
namespace {

// --- Memory in the program's process, for the controls whose messages
// carry pointers -----------------------------------------------------------------

class Remote {
 public:
  Remote(HWND h, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    process_.reset(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (process_) {
      mem_ =
          VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~Remote() {
    if (mem_) VirtualFreeEx(process_.get(), mem_, 0, MEM_RELEASE);
  }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;
  bool ok() const { return mem_ != nullptr; }
  char* at(std::size_t offset) const { return static_cast<char*>(mem_) + offset; }
  bool Put(std::size_t offset, const void* data, std::size_t n) {
    SIZE_T done = 0;
    return offset + n <= size_ && WriteProcessMemory(process_.get(), at(offset), data, n, &done) &&
           done == n;
  }
  bool Get(std::size_t offset, void* data, std::size_t n) {
    SIZE_T done = 0;
    return offset + n <= size_ && ReadProcessMemory(process_.get(), at(offset), data, n, &done) &&
           done == n;
  }
  std::wstring GetText(std::size_t offset, std::size_t chars) {
    std::wstring s(chars, L'\0');
    if (!Get(offset, s.data(), chars * sizeof(wchar_t))) return {};
    s.resize(wcsnlen(s.c_str(), chars));
    return s;
  }

 private:
  quillane::UniqueHandle process_;
  void* mem_ = nullptr;
  std::size_t size_;
};

constexpr std::size_t kTextChars = 8192;
constexpr std::size_t kTextOffset = 1024;
constexpr std::size_t kRemoteSize = kTextOffset + kTextChars * sizeof(wchar_t);

// Left button down and up at the middle of a rectangle of the control.
void ClickAt(HWND h, const RECT& r) {
  const LPARAM pt = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(h, WM_MOUSEMOVE, 0, pt);
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, pt);
  SendMessageW(h, WM_LBUTTONUP, 0, pt);
}

}  // namespace

int ToolbarItems(const Target& t) {
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int n = static_cast<int>(SendMessageW(t.ctl, TB_BUTTONCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    TBBUTTON b{};
    if (!SendMessageW(t.ctl, TB_GETBUTTON, static_cast<WPARAM>(i),
                      reinterpret_cast<LPARAM>(mem.at(0))) ||
        !mem.Get(0, &b, sizeof(b))) {
      return Fail(L"cannot read tool-bar button " + std::to_wstring(i));
    }
    std::wstring caption = L"-";
    if (!(b.fsStyle & BTNS_SEP)) {
      SendMessageW(t.ctl, TB_GETBUTTONTEXTW, static_cast<WPARAM>(b.idCommand),
                   reinterpret_cast<LPARAM>(mem.at(kTextOffset)));
      caption = mem.GetText(kTextOffset, kTextChars);
    }
    Out(std::to_wstring(i) + L"\t" + caption + L"\t" +
        ((b.fsState & TBSTATE_HIDDEN) ? L"hidden" : L"visible") + L"\t" +
        ((b.fsState & TBSTATE_ENABLED) ? L"enabled" : L"disabled"));
  }
  return 0;
}

int ClickTool(const Target& t, int index) {
  const auto& buttons = t.def->controls[t.index].buttons;
  if (index < 0 || index >= static_cast<int>(buttons.size()))
    return Fail(L"no tool-bar button " + std::to_wstring(index));
  if (buttons[index].IsSeparator())
    return Fail(L"tool-bar item " + std::to_wstring(index) + L" is a separator");
  const LRESULT state = SendMessageW(
      t.ctl, TB_GETSTATE, static_cast<WPARAM>(quillane::ui::kToolCommandBase + index), 0);
  if (state == -1) return Fail(L"no tool-bar button " + std::to_wstring(index));
  if (state & TBSTATE_HIDDEN)
    return Fail(L"tool-bar button " + std::to_wstring(index) + L" is hidden");
  if (!(state & TBSTATE_ENABLED))
    return Fail(L"tool-bar button " + std::to_wstring(index) + L" is disabled");
  Remote mem(t.ctl, kRemoteSize);
  RECT r{};
  if (!mem.ok() ||
      !SendMessageW(t.ctl, TB_GETITEMRECT, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(mem.at(0))) ||
      !mem.Get(0, &r, sizeof(r))) {
    return Fail(L"cannot find where tool-bar button " + std::to_wstring(index) + L" is");
  }
  ClickAt(t.ctl, r);
  return 0;
}

int ReadStatus(const Target& t, int part) {
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int parts = static_cast<int>(SendMessageW(t.ctl, SB_GETPARTS, 0, 0));
  if (part < 0 || part >= parts)
    return Fail(L"the status bar has no part " + std::to_wstring(part));
  const LRESULT len = SendMessageW(t.ctl, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
  if (LOWORD(len) >= kTextChars) return Fail(L"status text too long");
  SendMessageW(t.ctl, SB_GETTEXTW, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(mem.at(kTextOffset)));
  Out(mem.GetText(kTextOffset, LOWORD(len) + 1));
  return 0;
}

int Tabs(const Target& t) {
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int n = static_cast<int>(SendMessageW(t.ctl, TCM_GETITEMCOUNT, 0, 0));
  const int cur = static_cast<int>(SendMessageW(t.ctl, TCM_GETCURSEL, 0, 0));
  for (int i = 0; i < n; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(mem.at(kTextOffset));
    item.cchTextMax = static_cast<int>(kTextChars);
    mem.Put(0, &item, sizeof(item));
    SendMessageW(t.ctl, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(mem.at(0)));
    Out(std::wstring(i == cur ? L"*" : L" ") + L"\t" + mem.GetText(kTextOffset, kTextChars));
  }
  return 0;
}

int SelectTab(const Target& t, int tab) {
  Remote mem(t.ctl, kRemoteSize);
  RECT r{};
  if (!mem.ok() ||
      !SendMessageW(t.ctl, TCM_GETITEMRECT, static_cast<WPARAM>(tab),
                    reinterpret_cast<LPARAM>(mem.at(0))) ||
      !mem.Get(0, &r, sizeof(r))) {
    return Fail(L"no tab " + std::to_wstring(tab));
  }
  ClickAt(t.ctl, r);
  return 0;
}

int ReadCells(const Target& t, int row, int column) {
  const int rows = static_cast<int>(SendMessageW(t.ctl, LVM_GETITEMCOUNT, 0, 0));
  if (row < 0 || row >= rows) return Fail(L"the list has no row " + std::to_wstring(row));
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int columns = static_cast<int>(t.def->controls[t.index].columns.size());
  std::wstring line;
  for (int c = column < 0 ? 0 : column; c < (column < 0 ? columns : column + 1); ++c) {
    LVITEMW item{};
    item.iSubItem = c;
    item.pszText = reinterpret_cast<wchar_t*>(mem.at(kTextOffset));
    item.cchTextMax = static_cast<int>(kTextChars);
    mem.Put(0, &item, sizeof(item));
    const LRESULT n = SendMessageW(t.ctl, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                   reinterpret_cast<LPARAM>(mem.at(0)));
    if (c > 0 && column < 0) line += L"\t";
    line += mem.GetText(kTextOffset, static_cast<std::size_t>(n) + 1);
  }
  Out(line);
  return 0;
}

int SelectRow(const Target& t, int row) {
  const int rows = static_cast<int>(SendMessageW(t.ctl, LVM_GETITEMCOUNT, 0, 0));
  if (row < 0 || row >= rows) return Fail(L"the list has no row " + std::to_wstring(row));
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  SetFocus(nullptr);
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  mem.Put(0, &item, sizeof(item));
  SendMessageW(t.ctl, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(mem.at(0)));
  return 0;
}

}  // namespace uidriver
