// Opens both windows from their definitions on the Win32 backend, with stub
// handlers that record what they see, for the end-to-end checks through
// uidriver. Each handler appends a UTF-8 line to the file named by the
// environment variable QUILLANE_UI_LOG (if set).
#include <windows.h>

#include <cstdio>
#include <string>

#include "services/encoding.h"
#include "services/message_box.h"
#include "services/process.h"
#include "ui/runtime.h"
#include "ui/win32_backend.h"

namespace {

using quillane::Text;
using quillane::ui::Control;
using quillane::ui::WindowId;

int g_settingsBuilds = 0;

void Log(const Text& line) {
  wchar_t path[MAX_PATH];
  if (GetEnvironmentVariableW(L"QUILLANE_UI_LOG", path, MAX_PATH) == 0) return;
  FILE* f = _wfopen(path, L"ab");
  if (f == nullptr) return;
  const std::string utf8 = quillane::GbkToUtf8(line) + "\n";
  std::fwrite(utf8.data(), 1, utf8.size(), f);
  std::fclose(f);
}

const Control kTabs(WindowId::Main, "高级选择夹1");
const Control kBar(WindowId::Main, "工具条1");
const Control kStatus(WindowId::Main, "状态条1");

void LayoutMainWindow() {
  kTabs.SetTop(kBar.Height());
  kTabs.SetWidth(quillane::ui::ClientWidth(WindowId::Main));
  kTabs.SetHeight(quillane::ui::ClientHeight(WindowId::Main) - kStatus.Height() - kBar.Height());
  kStatus.SetPartWidth(1, kStatus.Width() - 32);
}

// The load thread of the settings window: reads and writes its controls from
// another thread, as the real one does.
void LoadThread(std::int32_t) {
  const Text wait = Control(WindowId::Settings, "编辑框_回复时间").GetText();
  Log("worker read " + wait);
  kStatus.SetPartText(1, "设置已载入");
  Log("worker done");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  namespace ui = quillane::ui;
  ui::Runtime runtime(ui::CreateWin32Backend());

  ui::BindHandler("InitMainWindow", [] {
    Log("created main");
    LayoutMainWindow();
    kStatus.SetPartText(1, "欢迎使用");
  });
  ui::BindHandler("LayoutMainWindow", [] { LayoutMainWindow(); });
  ui::BindHandler("ShowCurrentClient", [] { Log("page " + std::to_string(kTabs.CurrentPage())); });
  ui::BindHandler("OnToolbarClick", [](int index) {
    Log("toolbar " + std::to_string(index));
    kStatus.SetPartText(1, "按钮" + std::to_string(index));
    if (index == 0) {
      const int p = kTabs.InsertPage("");
      kTabs.SetPageCaption(p, "店铺" + std::to_string(p));
      kTabs.SetCurrentPage(p);
    } else if (index == 1 && kTabs.CurrentPage() > 0) {
      kTabs.DeletePage(kTabs.CurrentPage());
    } else if (index == 8) {
      ui::LoadWindow(WindowId::Settings);
    }
  });
  ui::BindAskingHandler("ConfirmExit", [] {
    return quillane::ShowMessageBox("确定退出吗？", 65, "退出", ui::WindowHandle(WindowId::Main)) ==
           0;
  });
  ui::BindHandler("ShutDown", [] {
    Log("shutdown");
    quillane::EndProgram(0);
  });

  ui::BindHandler("StartLoadSettings", [] {
    ++g_settingsBuilds;
    Log("settings built " + std::to_string(g_settingsBuilds));
    quillane::StartThread(&LoadThread);
  });
  ui::BindHandler("SettingsDestroying", [] {
    Log("settings closing");
    kStatus.SetPartText(1, "载入设置中");
  });
  ui::BindHandler("InsertSeparator", [] {
    const Control keywords(WindowId::Settings, "编辑框_关键词");
    keywords.AppendText("|");
    keywords.Focus();
  });
  ui::BindHandler("ClampWaitTime",
                  [] { Log("wait " + Control(WindowId::Settings, "编辑框_回复时间").GetText()); });
  ui::BindHandler("ShowSelectedRule", [] {
    Log("row " + std::to_string(Control(WindowId::Settings, "超级列表框_列表").CurrentRow()));
  });
  ui::BindHandler("AddRule", [] {
    const Control list(WindowId::Settings, "超级列表框_列表");
    const int row = list.InsertRow();
    list.SetCellText(row, 0, Control(WindowId::Settings, "编辑框_关键词").GetText());
    list.SetCellText(row, 1, Control(WindowId::Settings, "编辑框_回复语").GetText());
    list.SetCellText(row, 2, Control(WindowId::Settings, "组合框_匹配规则").GetText());
    list.SetCellText(row, 3, Control(WindowId::Settings, "编辑框_匹配码").GetText());
    Log("added " + std::to_string(row));
  });
  ui::BindHandler("ModifyRule", [] { Log("modify"); });
  ui::BindHandler("DeleteRule", [] { Log("delete"); });
  ui::BindHandler("StartSaveSettings", [] { Log("save"); });

  if (!ui::LoadWindow(WindowId::Main)) return 3;
  return ui::RunMessageLoop();
}
