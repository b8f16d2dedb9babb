#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <unistd.h>

#include "services/events.h"
#include "services/message_box.h"
#include "services/process.h"
#include "ui_test_fixture.h"

namespace quillane::ui {
namespace {

const WindowId kMain = WindowId::Main;
const WindowId kSet = WindowId::Settings;

class Runtime_ : public UiTest {
 protected:
  Control tabs{kMain, "高级选择夹1"};
  Control status{kMain, "状态条1"};
  Control bar{kMain, "工具条1"};
  Control list{kSet, "超级列表框_列表"};
  Control combo{kSet, "组合框_匹配规则"};
  Control wait{kSet, "编辑框_回复时间"};
  Control code{kSet, "编辑框_匹配码"};
};

TEST_F(Runtime_, BuildRaisesCreatedMovedResizedBeforeShowing) {
  bool shownInCreated = true;
  runtime->BindHandler("InitMainWindow", [&](const Event&) {
    shownInCreated = IsWindowOpen(kMain) && Control(kMain, "").IsShown();
    Record("x");  // keep recording the others
    return true;
  });
  ASSERT_TRUE(LoadWindow(kMain));
  EXPECT_FALSE(shownInCreated);
  EXPECT_EQ(Handlers(), (std::vector<std::string>{"LayoutMainWindow"}));  // Moved is not bound
  EXPECT_TRUE(Control(kMain, "").IsShown());
  EXPECT_TRUE(Control(kMain, "透明标签1").IsShown());
}

TEST_F(Runtime_, SecondLoadActivatesInsteadOfBuilding) {
  ASSERT_TRUE(LoadWindow(kSet));
  ASSERT_TRUE(LoadWindow(kSet));
  EXPECT_EQ(headless->BuildCount(kSet), 1);
  EXPECT_EQ(headless->FrontCount(kSet), 1);
  EXPECT_EQ(Count("StartLoadSettings"), 1);
  // After a close the next load builds afresh from the definition.
  wait.SetText("17");
  ASSERT_TRUE(CloseWindow(kSet));
  ASSERT_TRUE(LoadWindow(kSet));
  EXPECT_EQ(headless->BuildCount(kSet), 2);
  EXPECT_EQ(wait.GetText(), "5");
}

TEST_F(Runtime_, FailedBuildReportsFalse) {
  headless->FailNextCreate();
  EXPECT_FALSE(LoadWindow(kMain));
  EXPECT_FALSE(IsWindowOpen(kMain));
  EXPECT_EQ(Count("InitMainWindow"), 0);
}

TEST_F(Runtime_, SettingsWindowShowsOnlyItsSecondPage) {
  ASSERT_TRUE(LoadWindow(kSet));
  Control setTabs(kSet, "高级选择夹1");
  EXPECT_EQ(setTabs.CurrentPage(), 1);
  EXPECT_TRUE(Control(kSet, "分组框_关键词").IsShown());
  EXPECT_TRUE(Control(kSet, "编辑框_默认回复内容").IsShown());
  EXPECT_FALSE(headless->ClickPage(kSet, "高级选择夹1", 0));  // hidden tab
  setTabs.SetCurrentPage(0);
  EXPECT_EQ(setTabs.CurrentPage(), 1);
  EXPECT_EQ(Control(kSet, "编辑框_关键词").GetText(), "在吗|在不|您好");
  EXPECT_EQ(code.GetText(), "1");
  EXPECT_EQ(wait.GetText(), "5");
  EXPECT_EQ(combo.CurrentIndex(), 0);
  EXPECT_EQ(combo.GetText(), "包含");
  EXPECT_FALSE(Control(kSet, "按钮_表情").IsEnabled());
  EXPECT_FALSE(headless->ClickButton(kSet, "按钮_表情"));
  EXPECT_TRUE(errors.empty());
}

TEST_F(Runtime_, CurrentPageWritesRaiseOnlyOnChange) {
  ASSERT_TRUE(LoadWindow(kMain));
  const int p = tabs.InsertPage("");
  EXPECT_EQ(p, 1);
  Clear();
  tabs.SetCurrentPage(0);  // already current
  EXPECT_EQ(Count("ShowCurrentClient"), 0);
  tabs.SetCurrentPage(1);
  EXPECT_EQ(Count("ShowCurrentClient"), 1);
  EXPECT_EQ(tabs.CurrentPage(), 1);
  EXPECT_FALSE(Control(kMain, "透明标签1").IsShown());
  tabs.SetCurrentPage(7);  // not a page
  EXPECT_EQ(tabs.CurrentPage(), 1);
  EXPECT_EQ(Count("ShowCurrentClient"), 1);
}

TEST_F(Runtime_, InsertPageBeforeCurrentShiftsItAndRaises) {
  ASSERT_TRUE(LoadWindow(kMain));
  EXPECT_EQ(tabs.InsertPage("a", 5), 1);  // index outside the pages: appended
  Clear();
  EXPECT_EQ(tabs.InsertPage("b", 0), 0);
  EXPECT_EQ(tabs.CurrentPage(), 1);  // the start page, now at 1
  EXPECT_EQ(tabs.PageCaption(1), "启动页");
  EXPECT_EQ(Count("ShowCurrentClient"), 1);
  // Its label follows the page, not the index.
  EXPECT_TRUE(Control(kMain, "透明标签1").IsShown());
  tabs.SetCurrentPage(0);
  EXPECT_FALSE(Control(kMain, "透明标签1").IsShown());
  Clear();
  EXPECT_EQ(tabs.InsertPage("c", 1), 1);  // after the current page: no event
  EXPECT_EQ(Count("ShowCurrentClient"), 0);
  EXPECT_EQ(tabs.PageCount(), 4);
}

TEST_F(Runtime_, DeletePageKeepsTheRulesForTheCurrentPage) {
  ASSERT_TRUE(LoadWindow(kMain));
  EXPECT_FALSE(tabs.DeletePage(0));  // 启动页 is not removable
  EXPECT_FALSE(tabs.DeletePage(3));
  for (const char* c : {"店铺1", "店铺2", "店铺3"}) tabs.InsertPage(c);
  // Deleting the current page when a page follows it: same index, no event.
  tabs.SetCurrentPage(2);
  Clear();
  EXPECT_TRUE(tabs.DeletePage(2));
  EXPECT_EQ(tabs.CurrentPage(), 2);
  EXPECT_EQ(tabs.PageCaption(2), "店铺3");
  EXPECT_EQ(Count("ShowCurrentClient"), 0);
  // Deleting a page before the current one moves the index down, with an event.
  EXPECT_TRUE(tabs.DeletePage(1));
  EXPECT_EQ(tabs.CurrentPage(), 1);
  EXPECT_EQ(tabs.PageCaption(1), "店铺3");
  EXPECT_EQ(Count("ShowCurrentClient"), 1);
  // Deleting the current last page makes the first selectable page current.
  Clear();
  EXPECT_TRUE(tabs.DeletePage(1));
  EXPECT_EQ(tabs.CurrentPage(), 0);
  EXPECT_EQ(Count("ShowCurrentClient"), 1);
  EXPECT_TRUE(Control(kMain, "透明标签1").IsShown());
  // -1 with the unremovable start page current: nothing.
  EXPECT_FALSE(tabs.DeletePage(-1));
  EXPECT_EQ(tabs.PageCount(), 1);
  EXPECT_FALSE(tabs.SetPageCaption(1, "x"));
  EXPECT_TRUE(tabs.SetPageCaption(0, "首页"));
  EXPECT_EQ(tabs.PageCaption(0), "首页");
}

TEST_F(Runtime_, DeleteAllPagesNeedsARemovableCurrentPage) {
  ASSERT_TRUE(LoadWindow(kMain));
  tabs.InsertPage("店铺1");
  tabs.SetCurrentPage(1);
  Clear();
  EXPECT_TRUE(tabs.DeletePage(-1));
  EXPECT_EQ(tabs.PageCount(), 0);
  EXPECT_EQ(tabs.CurrentPage(), -1);
  EXPECT_EQ(Count("ShowCurrentClient"), 1);
}

TEST_F(Runtime_, PageChangingCanRefuse) {
  Record("ShowCurrentClient");
  ASSERT_TRUE(LoadWindow(kMain));
  tabs.InsertPage("店铺1");
  // No handler is bound to PageChanging in the definitions: always allowed.
  ASSERT_TRUE(headless->ClickPage(kMain, "高级选择夹1", 1));
  EXPECT_EQ(tabs.CurrentPage(), 1);
}

TEST_F(Runtime_, StatusBarParts) {
  ASSERT_TRUE(LoadWindow(kMain));
  status.SetPartText(1, "欢迎使用");
  status.SetPartText(2, "x");  // not a part
  status.SetPartText(-1, "x");
  EXPECT_EQ(status.PartText(0), "状态：");
  EXPECT_EQ(status.PartText(1), "欢迎使用");
  status.SetPartWidth(1, -9);
  EXPECT_EQ(status.PartWidth(1), -1);
  status.SetPartWidth(1);
  EXPECT_EQ(status.PartWidth(1), 50);
  status.SetPartText(1);
  EXPECT_EQ(status.PartText(1), "");
  EXPECT_TRUE(errors.empty());
}

TEST_F(Runtime_, ToolBarClicksAndStates) {
  ASSERT_TRUE(LoadWindow(kMain));
  Clear();
  headless->ClickToolButton(kMain, "工具条1", 2);  // separator
  headless->ClickToolButton(kMain, "工具条1", 5);  // hidden
  headless->ClickToolButton(kMain, "工具条1", 8);
  ASSERT_EQ(Handlers(), (std::vector<std::string>{"OnToolbarClick"}));
  EXPECT_EQ(seen[0].event.args[0], 8);
  EXPECT_EQ(seen[0].event.control, "工具条1");
  EXPECT_EQ(bar.AddButtonState(0, kDisabled), kDisabled);
  headless->ClickToolButton(kMain, "工具条1", 0);
  EXPECT_EQ(Count("OnToolbarClick"), 1);
  EXPECT_EQ(bar.RemoveButtonState(0, kDisabled), 0);
  headless->ClickToolButton(kMain, "工具条1", 0);
  EXPECT_EQ(Count("OnToolbarClick"), 2);
  EXPECT_EQ(bar.AddButtonState(9, kDisabled), -1);
  EXPECT_EQ(bar.RemoveButtonState(-1, kDisabled), -1);
  EXPECT_EQ(bar.ButtonState(6), kHidden);
}

TEST_F(Runtime_, ReportListRowsAndSelection) {
  ASSERT_TRUE(LoadWindow(kSet));
  EXPECT_EQ(list.CurrentRow(), -1);
  EXPECT_EQ(list.InsertRow(), 0);
  EXPECT_EQ(list.InsertRow(), 1);
  EXPECT_EQ(list.InsertRow(-5), 2);
  EXPECT_EQ(list.RowCount(), 3);
  EXPECT_TRUE(list.SetCellText(1, 3, "7"));
  EXPECT_FALSE(list.SetCellText(1, 4, "x"));
  EXPECT_FALSE(list.SetCellText(3, 0, "x"));
  EXPECT_EQ(list.GetCellText(1, 3), "7");
  EXPECT_EQ(list.GetCellText(list.RowCount(), 0), "");
  EXPECT_EQ(list.GetCellText(0, 9), "");
  Clear();
  list.SetCurrentRow(1);
  EXPECT_EQ(list.CurrentRow(), 1);
  EXPECT_EQ(Count("ShowSelectedRule"), 1);
  list.SetCurrentRow(1);  // no change
  EXPECT_EQ(Count("ShowSelectedRule"), 1);
  list.SetCurrentRow(-1);
  EXPECT_EQ(list.CurrentRow(), -1);
  EXPECT_EQ(Count("ShowSelectedRule"), 1);
  list.SetCurrentRow(9);  // not a row
  EXPECT_EQ(list.CurrentRow(), -1);
  // Deleting rows keeps the selection on the same row.
  list.SetCurrentRow(2);
  EXPECT_TRUE(list.DeleteRow(0));
  EXPECT_EQ(list.CurrentRow(), 1);
  EXPECT_TRUE(list.DeleteRow(1));
  EXPECT_EQ(list.CurrentRow(), -1);
  EXPECT_FALSE(list.DeleteRow(5));
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_EQ(list.GetCellText(0, 3), "7");
}

TEST_F(Runtime_, UserClicksOnTheListRaiseRowChangedAndClicked) {
  ASSERT_TRUE(LoadWindow(kSet));
  list.InsertRow(-1, "a");
  list.InsertRow(-1, "b");
  Clear();
  headless->ClickRow(kSet, "超级列表框_列表", 1);
  EXPECT_EQ(Count("ShowSelectedRule"), 2);  // RowChanged, then Clicked
  EXPECT_EQ(seen[0].event.kind, EventKind::RowChanged);
  EXPECT_EQ(seen[1].event.kind, EventKind::Clicked);
  EXPECT_EQ(list.CurrentRow(), 1);
  Clear();
  headless->ClickRow(kSet, "超级列表框_列表", -1);  // beside the rows
  EXPECT_EQ(Handlers(), (std::vector<std::string>{"ShowSelectedRule"}));
  EXPECT_EQ(seen[0].event.kind, EventKind::Clicked);
  EXPECT_EQ(list.CurrentRow(), -1);
}

TEST_F(Runtime_, ComboBoxClampsItsIndex) {
  ASSERT_TRUE(LoadWindow(kSet));
  combo.SetCurrentIndex(5);
  EXPECT_EQ(combo.CurrentIndex(), 2);
  EXPECT_EQ(combo.GetText(), "消息中包含");
  combo.SetCurrentIndex(-7);
  EXPECT_EQ(combo.CurrentIndex(), -1);
  EXPECT_EQ(combo.GetText(), "");
  combo.SetText("包含");
  EXPECT_EQ(combo.CurrentIndex(), 0);
  combo.SetText("其他");  // not an item: unchanged
  EXPECT_EQ(combo.CurrentIndex(), 0);
  headless->SelectComboItem(kSet, "组合框_匹配规则", 1);
  EXPECT_EQ(combo.GetText(), "完全匹配");
}

TEST_F(Runtime_, TextWritesRaiseTextChangedOnceEachTime) {
  ASSERT_TRUE(LoadWindow(kSet));
  Clear();
  wait.SetText("5");
  wait.SetText("5");
  EXPECT_EQ(Count("ClampWaitTime"), 2);
  code.SetText("3");  // no handler bound on 编辑框_匹配码
  EXPECT_EQ(Count("ClampWaitTime"), 2);
  Control keywords(kSet, "编辑框_关键词");
  keywords.AppendText({"|", "x"});
  EXPECT_EQ(keywords.GetText(), "在吗|在不|您好|x");
}

TEST_F(Runtime_, TypingIntoNumberFieldsAcceptsOnlyDigitsAndMinus) {
  ASSERT_TRUE(LoadWindow(kSet));
  Clear();
  ASSERT_TRUE(headless->TypeText(kSet, "编辑框_回复时间", "a1b-Z"));
  EXPECT_EQ(wait.GetText(), "51-");
  EXPECT_EQ(Count("ClampWaitTime"), 2);  // one per accepted character
  ASSERT_TRUE(headless->TypeText(kSet, "编辑框_匹配码", "x全2\b\b"));
  EXPECT_EQ(code.GetText(), "");
  ASSERT_TRUE(headless->TypeText(kSet, "编辑框_关键词", "a全"));
  EXPECT_EQ(Control(kSet, "编辑框_关键词").GetText(), "在吗|在不|您好a全");
}

TEST_F(Runtime_, MayCloseAndDestroying) {
  Record("ConfirmExit", false);
  std::string statusInDestroying;
  ASSERT_TRUE(LoadWindow(kMain));
  ASSERT_TRUE(LoadWindow(kSet));
  runtime->BindHandler("SettingsDestroying", [&](const Event&) {
    // The controls still exist while Destroying runs.
    statusInDestroying = Control(kSet, "编辑框_回复时间").GetText();
    status.SetPartText(1, "载入设置中");
    return true;
  });
  EXPECT_FALSE(headless->RequestClose(kMain));  // the handler answers false
  EXPECT_TRUE(IsWindowOpen(kMain));
  EXPECT_TRUE(headless->RequestClose(kSet));  // no MayClose handler: closes without asking
  EXPECT_FALSE(IsWindowOpen(kSet));
  EXPECT_EQ(statusInDestroying, "5");
  EXPECT_EQ(status.PartText(1), "载入设置中");
  Record("ConfirmExit", true);
  EXPECT_TRUE(CloseWindow(kMain));
  EXPECT_EQ(Count("ShutDown"), 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(Runtime_, GeometryFollowsTheWindow) {
  ASSERT_TRUE(LoadWindow(kMain));
  EXPECT_EQ(ClientWidth(kMain), 1200 - 16);
  EXPECT_EQ(ClientHeight(kMain), 600 - 39);
  EXPECT_EQ(bar.Height(), HeadlessBackend::kToolBarHeight);
  EXPECT_EQ(status.Top(), 600 - 39 - HeadlessBackend::kStatusBarHeight);
  tabs.SetTop(bar.Height());
  tabs.SetWidth(ClientWidth(kMain));
  EXPECT_EQ(tabs.Top(), 40);
  EXPECT_EQ(tabs.Left(), 0);
  EXPECT_EQ(tabs.Width(), 1184);
  EXPECT_EQ(tabs.Height(), 392);
  Clear();
  headless->ResizeWindow(kMain, 900, 500);
  EXPECT_EQ(Count("LayoutMainWindow"), 1);
  EXPECT_EQ(status.Width(), 884);
  EXPECT_NE(tabs.Handle(), 0u);
  EXPECT_NE(tabs.Handle(), WindowHandle(kMain));
  EXPECT_EQ(WindowHandle(kSet), 0u);
  EXPECT_TRUE(errors.empty());
}

TEST_F(Runtime_, RuntimeErrorReportText) {
  const Text report = Runtime::ErrorReportText(false, 0, kErrWindowNotOpen, 1, "编辑框_回复时间");
  EXPECT_EQ(report,
            "运行时出错!\r\n\r\n错误信息：未载入欲访问窗口组件所在的窗口\r\n"
            "\r\n2, 26\r\n\"设置窗口\"\r\n\"编辑框_回复时间\"\r\n");
  EXPECT_EQ(Runtime::ErrorReportText(true, 5, kErrTypeMismatch, -1, ""),
            "运行时出错!\r\n\r\n错误代码：5\r\n\r\n错误信息：数据或数组类型不匹配\r\n\r\n0, 0\r\n");
  EXPECT_EQ(Runtime::ErrorReportText(false, 0, kErrNoSuchControl, 0, "无此组件"),
            "运行时出错!\r\n\r\n错误信息：指定窗口或窗口组件不存在或尚未载入\r\n"
            "\r\n1, 0\r\n\"启动窗口\"\r\n未找到所指定的窗口组件\r\n");
  EXPECT_EQ(Runtime::ErrorReportText(false, 0, "", 7, ""),
            "运行时出错!\r\n\r\n8, 0\r\n未找到所指定的窗口\r\n");
}

TEST_F(Runtime_, UsingAWindowThatIsNotOpenIsARuntimeError) {
  // Never loaded.
  EXPECT_EQ(wait.GetText(), "");
  wait.SetText("9");
  EXPECT_EQ(list.InsertRow(), -1);
  // Loaded and closed again.
  ASSERT_TRUE(LoadWindow(kSet));
  ASSERT_TRUE(CloseWindow(kSet));
  EXPECT_EQ(wait.GetText(), "");
  EXPECT_EQ(wait.Width(), 0);
  ASSERT_TRUE(LoadWindow(kMain));
  EXPECT_EQ(Control(kMain, "没有这个").PageCount(), 0);
  EXPECT_EQ(Control(kMain, "状态条1").InsertPage("x"), -1);  // wrong kind of control
  ASSERT_EQ(errors.size(), 7u);
  EXPECT_EQ(errors[0].message, kErrReadNotCreated);
  EXPECT_EQ(errors[1].message, kErrWriteNotCreated);
  EXPECT_EQ(errors[2].message, kErrNoSuchControl);
  EXPECT_EQ(errors[3].message, kErrWindowNotOpen);
  EXPECT_EQ(errors[4].message, kErrWindowNotOpen);
  EXPECT_EQ(errors[5].message, kErrNoSuchControl);
  EXPECT_NE(errors[5].report.find("未找到所指定的窗口组件"), Text::npos);
  EXPECT_EQ(errors[6].control, "状态条1");
  EXPECT_EQ(errors[3].window, 1);
}

TEST_F(Runtime_, DefaultErrorReportShowsTheBoxAndEndsWithMinusOne) {
  runtime->SetErrorHook({});
  std::vector<int> exits;
  SetEndProgramHook([&](std::int32_t rc) { exits.push_back(rc); });
  TakeMessageBoxCalls();
  wait.GetText();
  SetEndProgramHook({});
  const auto boxes = TakeMessageBoxCalls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "错误");
  EXPECT_EQ(boxes[0].flags & 0x10u, 0x10u);
  EXPECT_EQ(boxes[0].owner, 0u);
  EXPECT_EQ(boxes[0].text.rfind("运行时出错!\r\n", 0), 0u);
  EXPECT_EQ(exits, (std::vector<int>{-1}));
}

// --- Worker threads -----------------------------------------------------------

// Runs `work` on a thread while the main thread keeps its events flowing.
template <typename F>
void RunWorker(F work) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    work();
    done = true;
  });
  while (!done) ProcessEvents();
  t.join();
}

TEST_F(Runtime_, WorkerCallsRunOnTheMainThreadWithTheirEvents) {
  ASSERT_TRUE(LoadWindow(kSet));
  Clear();
  std::vector<int> countsSeenByWorker;
  RunWorker([&] {
    wait.SetText("3");
    countsSeenByWorker.push_back(Count("ClampWaitTime"));  // the event ran before the call returned
    list.InsertRow();
    list.SetCellText(0, 2, "包含");
    countsSeenByWorker.push_back(list.RowCount());
  });
  EXPECT_EQ(countsSeenByWorker, (std::vector<int>{1, 1}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
  EXPECT_EQ(list.GetCellText(0, 2), "包含");
}

TEST_F(Runtime_, HandlersOfWorkerCallsMayCallBack) {
  ASSERT_TRUE(LoadWindow(kSet));
  runtime->BindHandler("ClampWaitTime", [&](const Event&) {
    if (wait.GetText() < "5") wait.SetText("5");
    return true;
  });
  RunWorker([&] { wait.SetText("2"); });
  EXPECT_EQ(wait.GetText(), "5");
}

TEST_F(Runtime_, WorkerTouchingAClosedWindowGetsARuntimeErrorNotACrash) {
  ASSERT_TRUE(LoadWindow(kSet));
  std::atomic<bool> closed{false};
  std::atomic<bool> done{false};
  Text afterClose = "unset";
  std::thread t([&] {
    wait.SetText("8");
    while (!closed) usleep(1000);
    afterClose = wait.GetText();
    list.InsertRow();
    done = true;
  });
  while (wait.GetText() != "8") ProcessEvents();
  ASSERT_TRUE(CloseWindow(kSet));
  closed = true;
  while (!done) ProcessEvents();
  t.join();
  EXPECT_EQ(afterClose, "");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].message, kErrWindowNotOpen);
  EXPECT_EQ(errors[1].message, kErrNoSuchControl);
}

TEST_F(Runtime_, MessageLoopEndsWithTheLastWindow) {
  EXPECT_EQ(RunMessageLoop(), 0);  // nothing open: returns at once
  ASSERT_TRUE(LoadWindow(kMain));
  ASSERT_TRUE(LoadWindow(kSet));
  std::thread t([&] {
    Control(kMain, "状态条1").SetPartText(1, "来自线程");
    CloseWindow(kSet);
    CloseWindow(kMain);
  });
  EXPECT_EQ(RunMessageLoop(), 0);
  t.join();
  EXPECT_FALSE(IsWindowOpen(kMain));
  EXPECT_EQ(Count("ShutDown"), 1);
}

TEST_F(Runtime_, AWindowClosedWhileBeingCreatedIsNeitherResizedNorShown) {
  runtime->BindHandler("InitMainWindow", [&](const Event&) {
    CloseWindow(kMain);
    return true;
  });
  EXPECT_FALSE(LoadWindow(kMain));
  EXPECT_FALSE(IsWindowOpen(kMain));
  EXPECT_EQ(Count("LayoutMainWindow"), 0);
  EXPECT_EQ(Count("ShutDown"), 1);  // Destroying still ran
  EXPECT_EQ(RunMessageLoop(), 0);   // nothing open: no loop
}

TEST_F(Runtime_, ConvenienceBindingsAndUnboundEvents) {
  int index = -1, plain = 0;
  BindHandler("OnToolbarClick", std::function<void(int)>([&](int i) { index = i; }));
  BindHandler("LayoutMainWindow", std::function<void()>([&] { ++plain; }));
  BindAskingHandler("ConfirmExit", [] { return false; });
  ASSERT_TRUE(LoadWindow(kMain));
  EXPECT_EQ(plain, 1);
  headless->ClickToolButton(kMain, "工具条1", 4);
  EXPECT_EQ(index, 4);
  EXPECT_FALSE(CloseWindow(kMain));
  ASSERT_TRUE(LoadWindow(kSet));
  Clear();
  // Only the bound events of a control reach a handler.
  headless->ClickButton(kSet, "按钮_保存");
  EXPECT_EQ(Handlers(), (std::vector<std::string>{"StartSaveSettings"}));
  headless->ClickPage(kMain, "高级选择夹1", 0);  // already current
  EXPECT_EQ(Handlers().size(), 1u);
}

TEST_F(Runtime_, AnUnboundAskingHandlerAnswersFalseAndIsReported) {
  runtime->BindHandler("ConfirmExit", Handler());
  runtime->BindHandler("InitMainWindow", Handler());
  EXPECT_EQ(runtime->UnboundHandlers(), (std::vector<Text>{"ConfirmExit", "InitMainWindow"}));
  ASSERT_TRUE(LoadWindow(kMain));  // an unbound event that asks nothing passes silently
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(headless->RequestClose(kMain));
  EXPECT_TRUE(IsWindowOpen(kMain));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, Text(kErrUnboundHandler) + "ConfirmExit");
  EXPECT_EQ(errors[0].window, 0);
}

TEST_F(Runtime_, AWorkerCanLoadAWindowAndItIsBuiltOnTheMainThread) {
  ASSERT_TRUE(LoadWindow(kMain));
  Clear();
  bool loaded = false;
  RunWorker([&] { loaded = LoadWindow(kSet); });
  EXPECT_TRUE(loaded);
  ASSERT_EQ(Handlers(), (std::vector<std::string>{"StartLoadSettings"}));
  EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
}

TEST_F(Runtime_, DestroyedRuntimeReleasesWaitingWorkers) {
  ASSERT_TRUE(LoadWindow(kSet));
  std::atomic<bool> started{false};
  Text result = "unset";
  std::thread t([&] {
    started = true;
    result = wait.GetText();  // nobody on the main thread runs it
  });
  while (!started) std::this_thread::yield();
  usleep(20000);
  runtime.reset();
  t.join();
  EXPECT_EQ(result, "");
}

}  // namespace
}  // namespace quillane::ui
