#include "services/file_dialog.h"

#include <deque>
#include <mutex>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "services/encoding.h"
#endif

namespace quillane {

namespace {

struct DialogState {
  std::mutex mutex;
  std::deque<std::optional<Text>> answers;
  std::vector<FileDialogRequest> calls;
};

DialogState& State() {
  static DialogState state;
  return state;
}

#ifdef _WIN32

// Longest path the dialog may hand back, in UTF-16 units.
constexpr DWORD kPathCapacity = 32768;

// The filter: "name\0pattern\0" for the given type, then every file, then the
// closing "\0".
std::wstring FilterOf(const FileDialogRequest& r) {
  std::wstring filter;
  if (!r.pattern.empty()) {
    filter += WideFromGbk(r.typeName.empty() ? r.pattern : r.typeName);
    filter.push_back(L'\0');
    filter += WideFromGbk(r.pattern);
    filter.push_back(L'\0');
  }
  filter += WideFromGbk("所有文件 (*.*)");
  filter.push_back(L'\0');
  filter += L"*.*";
  filter.push_back(L'\0');
  return filter;
}

ChosenFile ShowSystemDialog(const FileDialogRequest& r) {
  std::wstring path = WideFromGbk(r.fileName);
  path.resize(kPathCapacity, L'\0');
  const std::wstring filter = FilterOf(r);
  const std::wstring title = WideFromGbk(r.title);
  const std::wstring extension = WideFromGbk(r.defaultExtension);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = reinterpret_cast<HWND>(r.owner);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = kPathCapacity;
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // The program's folder stays the current directory: the program names its
  // own files by full path, but nothing should move under it.
  ofn.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  bool chosen = false;
  if (r.kind == FileDialogKind::Open) {
    ofn.Flags |= OFN_FILEMUSTEXIST;
    chosen = GetOpenFileNameW(&ofn) != FALSE;
  } else {
    ofn.Flags |= OFN_OVERWRITEPROMPT;
    chosen = GetSaveFileNameW(&ofn) != FALSE;
  }
  if (!chosen) return {};
  path.resize(wcsnlen(path.c_str(), kPathCapacity));
  // A path that does not come back the same through GBK would name another
  // file, or none.
  const Text gbk = GbkFromWide(path);
  if (WideFromGbk(gbk) != path) return {ChosenFile::Outcome::Unusable, {}};
  return {ChosenFile::Outcome::Chosen, gbk};
}

#endif

}  // namespace

void QueueFileDialogAnswer(std::optional<Text> path) {
  std::lock_guard lock(State().mutex);
  State().answers.push_back(std::move(path));
}

std::vector<FileDialogRequest> TakeFileDialogCalls() {
  std::lock_guard lock(State().mutex);
  return std::exchange(State().calls, {});
}

ChosenFile ChooseFile(const FileDialogRequest& request) {
#ifdef _WIN32
  return ShowSystemDialog(request);
#else
  std::lock_guard lock(State().mutex);
  State().calls.push_back(request);
  if (State().answers.empty()) return {};
  std::optional<Text> answer = std::move(State().answers.front());
  State().answers.pop_front();
  if (!answer) return {};
  return {ChosenFile::Outcome::Chosen, std::move(*answer)};
#endif
}

}  // namespace quillane
