#include "ui/definitions.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace quillane::ui {
namespace {

const FontDef kTabFont{"SimSun", -12, 400, 134};
const FontDef kWelcomeFont{"SimSun", -37, 700, 134};
const FontDef kHintFont{"SimSun", -16, 400, 134};

constexpr std::uint32_t kBlack = 0x00000000u;
constexpr std::uint32_t kWhite = 0x00FFFFFFu;

// A control of the given kind, place and caption or initial text.
ControlDef Make(const char* name, Kind kind, int l = 0, int t = 0, int wd = 0, int h = 0,
                const char* text = "") {
  ControlDef c;
  c.name = name;
  c.kind = kind;
  c.left = l, c.top = t, c.width = wd, c.height = h;
  c.text = text;
  return c;
}

// Appends a control, resolving its parent by name (nullptr: the window).
void Add(WindowDef& w, const char* parentName, ControlDef c) {
  if (parentName != nullptr) {
    c.parent = FindControl(w, parentName);
  }
  w.controls.push_back(std::move(c));
}

ControlDef Label(const char* name, int l, int t, int wd, int h, const char* text) {
  ControlDef c = Make(name, Kind::TransLabel, l, t, wd, h, text);
  c.textColour = kBlack;
  return c;
}

ControlDef Edit(const char* name, int l, int t, int wd, int h, const char* text) {
  ControlDef c = Make(name, Kind::EditBox, l, t, wd, h, text);
  c.tabStop = true;
  c.textColour = kBlack;
  c.backColour = kWhite;
  return c;
}

ControlDef Button(const char* name, int l, int t, int wd, int h, const char* caption) {
  ControlDef c = Make(name, Kind::Button, l, t, wd, h, caption);
  c.tabStop = true;
  return c;
}

ControlDef Group(const char* name, int page, int l, int t, int wd, int h, const char* caption) {
  ControlDef c = Make(name, Kind::GroupBox, l, t, wd, h, caption);
  c.page = page;
  c.textColour = kBlack;
  c.backColour = kWhite;
  return c;
}

// The control with a handler of its Clicked event.
ControlDef Clicked(ControlDef c, const char* handler) {
  c.events = {{EventKind::Clicked, handler}};
  return c;
}

// A movable window shown at once and in the task bar; a sizable one also has
// the minimize and maximize boxes.
WindowDef Window(WindowId id, const char* name, const char* caption, int width, int height,
                 bool sizable) {
  WindowDef w{};
  w.id = id;
  w.name = name;
  w.caption = caption;
  w.width = width;
  w.height = height;
  w.resizable = w.minimizeBox = w.maximizeBox = sizable;
  w.movable = w.showInTaskBar = w.visible = true;
  return w;
}

WindowDef BuildMainWindow() {
  WindowDef w = Window(WindowId::Main, "启动窗口", "Quillane", 1200, 600, true);
  w.events = {{EventKind::Created, "InitMainWindow"},
              {EventKind::MayClose, "ConfirmExit"},
              {EventKind::Destroying, "ShutDown"},
              {EventKind::Resized, "LayoutMainWindow"}};

  ControlDef bar = Make("工具条1", Kind::ToolBar, 0, 0, 1960, 20);
  bar.buttons = {{"添加店铺", 0, 0},       {"删除店铺", 1, 0}, {nullptr, -1, 0},
                 {"启动回复", 3, 0},       {"停止回复", 4, 0}, {"全部启动", 3, kHidden},
                 {"全部停止", 4, kHidden}, {nullptr, -1, 0},   {"设置", 2, 0}};
  bar.events = {{EventKind::ButtonClicked, "OnToolbarClick"}};
  Add(w, nullptr, std::move(bar));

  ControlDef status = Make("状态条1", Kind::StatusBar, 0, 551, 1194, 20);
  status.parts = {{32, "状态："}, {50, ""}};
  Add(w, nullptr, std::move(status));

  ControlDef tabs = Make("高级选择夹1", Kind::PageControl, 0, 64, 752, 392);
  tabs.font = &kTabFont;
  tabs.pages = {{"启动页", true, true, false}};
  tabs.events = {{EventKind::PageChanged, "ShowCurrentClient"}};
  Add(w, nullptr, std::move(tabs));

  ControlDef welcome = Label("透明标签1", 24, 32, 376, 56, "欢迎使用Quillane");
  welcome.page = 0;
  welcome.font = &kWelcomeFont;
  welcome.textColour = 0x00FFFF00u;
  Add(w, "高级选择夹1", std::move(welcome));
  // How to begin, while there are no rules; the logic writes it.
  ControlDef hint = Label("透明标签_规则提示", 24, 100, 1100, 120, "");
  hint.page = 0;
  hint.multiLine = true;
  hint.font = &kHintFont;
  Add(w, "高级选择夹1", std::move(hint));
  return w;
}

WindowDef BuildSettingsWindow() {
  WindowDef w = Window(WindowId::Settings, "设置窗口", "设置", 800, 600, false);
  w.events = {{EventKind::Created, "StartLoadSettings"},
              {EventKind::Destroying, "SettingsDestroying"}};

  ControlDef tabs = Make("高级选择夹1", Kind::PageControl, 0, 0, 800, 600);
  tabs.font = &kTabFont;
  tabs.pages = {{"系统设置", false, true, false}, {"设置", true, true, false}};
  Add(w, nullptr, std::move(tabs));

  const char* tab = "高级选择夹1";
  Add(w, tab, Group("分组框_默认回复", 1, 8, 30, 780, 50, "默认回复"));
  Add(w, tab, Group("分组框_关键词", 1, 8, 88, 780, 362, "关键词回复"));
  Add(w, tab, Group("分组框_其他操作", 1, 16, 456, 780, 72, "系统设置"));
  ControlDef save = Button("按钮_保存", 8, 532, 80, 32, "保存");
  save.page = 1;
  save.events = {{EventKind::Clicked, "StartSaveSettings"}};
  Add(w, tab, std::move(save));

  const char* reply = "分组框_默认回复";
  Add(w, reply, Label("透明标签_默认回复内容", 8, 18, 80, 20, "默认回复内容："));
  Add(w, reply,
      Edit("编辑框_默认回复内容", 88, 18, 680, 20,
           "亲非常抱歉，目前客服不在线哦，客服上线后会第一时间回复您哈。[拥抱]"));

  const char* rules = "分组框_关键词";
  Add(w, rules, Label("透明标签_关键词", 8, 18, 50, 20, "关键词："));
  Add(w, rules, Edit("编辑框_关键词", 64, 18, 580, 25, "在吗|在不|您好"));
  Add(w, rules, Clicked(Button("按钮_输入分割符", 643, 17, 40, 27, "“|”"), "InsertSeparator"));
  Add(w, rules, Label("透明标签_说明1", 688, 20, 85, 20, "多词使用|分割"));
  Add(w, rules, Label("透明标签_回复语", 8, 51, 50, 20, "回复语："));
  ControlDef answer = Edit("编辑框_回复语", 64, 51, 705, 80, "");
  answer.multiLine = true;
  Add(w, rules, std::move(answer));
  Add(w, rules, Label("透明标签_匹配规则", 8, 139, 56, 20, "匹配规则："));
  ControlDef combo = Make("组合框_匹配规则", Kind::ComboBox, 64, 140, 110, 20);
  combo.tabStop = true;
  combo.items = {"包含", "完全匹配", "消息中包含"};
  combo.initialIndex = 0;
  Add(w, rules, std::move(combo));
  Add(w, rules, Label("透明标签_回复码", 184, 139, 48, 20, "匹配码："));
  ControlDef code = Edit("编辑框_匹配码", 228, 140, 80, 20, "1");
  code.textAlign = Align::Right;
  code.wholeNumber = true;
  Add(w, rules, std::move(code));
  Add(w, rules, Label("透明标签_说明2", 314, 139, 95, 20, "数值越大最先匹配"));
  Add(w, rules, Clicked(Button("按钮_添加", 415, 134, 80, 32, "添加"), "AddRule"));
  Add(w, rules, Clicked(Button("按钮_删除", 506, 134, 80, 32, "删除"), "DeleteRule"));
  Add(w, rules, Clicked(Button("按钮_修改", 597, 134, 80, 32, "修改"), "ModifyRule"));
  ControlDef smile = Button("按钮_表情", 688, 134, 80, 32, "表情(待开发)");
  smile.disabled = true;
  Add(w, rules, std::move(smile));
  Add(w, rules, Label("透明标签_列表", 8, 170, 56, 20, "回复列表："));
  ControlDef list = Make("超级列表框_列表", Kind::ListView, 64, 171, 705, 184);
  list.tabStop = true;
  list.columns = {{"关键词", 200, Align::Left},
                  {"回复语", 300, Align::Centre},
                  {"匹配规则", 100, Align::Centre},
                  {"匹配码", 100, Align::Centre}};
  list.events = {{EventKind::RowChanged, "ShowSelectedRule"},
                 {EventKind::Clicked, "ShowSelectedRule"}};
  Add(w, rules, std::move(list));

  const char* other = "分组框_其他操作";
  Add(w, other, Label("透明标签_检测待回复时间", 8, 29, 88, 20, "检测待回复时间："));
  ControlDef wait = Edit("编辑框_回复时间", 112, 29, 56, 20, "5");
  wait.textAlign = Align::Centre;
  wait.wholeNumber = true;
  wait.events = {{EventKind::TextChanged, "ClampWaitTime"}};
  Add(w, other, std::move(wait));
  Add(w, other,
      Label("透明标签_秒", 172, 29, 492, 20,
            "秒/次   (建议5-20秒一次，时间太短容易造成软件卡死无法操作，时间太长容易回复超时)"));

  // Rules in and out as CSV files, on the row of 保存, which stores what
  // they put into the list. Last, so the other controls keep their ids.
  ControlDef importButton =
      Clicked(Button("按钮_导入规则", 104, 532, 96, 32, "导入规则…"), "ImportRules");
  importButton.page = 1;
  Add(w, tab, std::move(importButton));
  ControlDef exportButton =
      Clicked(Button("按钮_导出规则", 208, 532, 96, 32, "导出规则…"), "ExportRules");
  exportButton.page = 1;
  Add(w, tab, std::move(exportButton));

  // The rule tester and the rule checks, on the same row, after the other
  // controls for the same reason.
  ControlDef testLabel = Label("透明标签_测试顾客消息", 316, 540, 80, 20, "测试顾客消息");
  testLabel.page = 1;
  Add(w, tab, std::move(testLabel));
  ControlDef testInput = Edit("编辑框_测试顾客消息", 398, 537, 224, 22, "");
  testInput.page = 1;
  Add(w, tab, std::move(testInput));
  ControlDef testButton =
      Clicked(Button("按钮_测试", 628, 532, 56, 32, "测试"), "TestCustomerMessage");
  testButton.page = 1;
  Add(w, tab, std::move(testButton));
  ControlDef checkButton =
      Clicked(Button("按钮_检查规则", 692, 532, 88, 32, "检查规则"), "CheckListedRules");
  checkButton.page = 1;
  Add(w, tab, std::move(checkButton));
  return w;
}

// --- Tool-bar images -------------------------------------------------------

constexpr double kPi = std::numbers::pi;
constexpr std::uint32_t kImgWhite = 0xFFFFFFFFu;

struct Canvas {
  ToolImage px;
  Canvas() { px.fill(kImgWhite); }
  void Set(int x, int y, std::uint32_t c) {
    if (x >= 0 && y >= 0 && x < kToolImageSize && y < kToolImageSize)
      px[y * kToolImageSize + x] = c;
  }
  void Rect(int x0, int y0, int x1, int y1, std::uint32_t c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Set(x, y, c);
  }
  void Frame(int x0, int y0, int x1, int y1, std::uint32_t c) {
    Rect(x0, y0, x1, y0, c);
    Rect(x0, y1, x1, y1, c);
    Rect(x0, y0, x0, y1, c);
    Rect(x1, y0, x1, y1, c);
  }
};

// A small shop front: an awning over a box with a door.
void DrawShop(Canvas& c) {
  const std::uint32_t awning = 0xFF2F6FC0u, body = 0xFFE8EEF8u, line = 0xFF1F3F70u;
  for (int y = 1; y <= 4; ++y) c.Rect(5 - y, y, 9 + y, y, awning);
  c.Rect(1, 5, 13, 5, line);
  c.Rect(2, 6, 12, 13, body);
  c.Frame(2, 6, 12, 13, line);
  c.Rect(6, 9, 8, 13, line);
}

void DrawBadge(Canvas& c, std::uint32_t fill, bool plus) {
  c.Rect(10, 10, 16, 16, fill);
  c.Rect(11, 13, 15, 13, kImgWhite);  // the bar of a plus or a minus
  if (plus) c.Rect(13, 11, 13, 15, kImgWhite);
}

ToolImage DrawAddShop() {
  Canvas c;
  DrawShop(c);
  DrawBadge(c, 0xFF2E9B3Eu, true);
  return c.px;
}

ToolImage DrawDeleteShop() {
  Canvas c;
  DrawShop(c);
  DrawBadge(c, 0xFFD03030u, false);
  return c.px;
}

// A gear: a ring with eight teeth and a hole in the middle.
ToolImage DrawSettings() {
  Canvas c;
  const std::uint32_t steel = 0xFF5A6470u;
  const double cx = 8.0, cy = 8.0;
  for (int y = 0; y < kToolImageSize; ++y) {
    for (int x = 0; x < kToolImageSize; ++x) {
      const double dx = x - cx, dy = y - cy;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double a = std::atan2(dy, dx);
      // Teeth: the outer radius grows in eight sectors.
      const double sector = std::fmod(a + 2 * kPi + kPi / 8, kPi / 4);
      const double outer = sector < kPi / 8 ? 8.2 : 6.0;
      if (r <= outer && r >= 2.5) c.Set(x, y, steel);
    }
  }
  return c.px;
}

ToolImage DrawStart() {
  Canvas c;
  const std::uint32_t green = 0xFF22A03Au;
  for (int x = 3; x <= 14; ++x) {
    const int half = (14 - x) * 7 / 11;
    c.Rect(x, 8 - half, x, 8 + half, green);
  }
  return c.px;
}

ToolImage DrawStop() {
  Canvas c;
  c.Rect(3, 3, 13, 13, 0xFFD03030u);
  c.Frame(3, 3, 13, 13, 0xFF902020u);
  return c.px;
}

}  // namespace

const WindowDef& GetWindowDef(WindowId id) {
  static const WindowDef kMain = BuildMainWindow();
  static const WindowDef kSettings = BuildSettingsWindow();
  return id == WindowId::Main ? kMain : kSettings;
}

int FindControl(const WindowDef& def, std::string_view name) {
  for (std::size_t i = 0; i < def.controls.size(); ++i) {
    if (name == def.controls[i].name) return static_cast<int>(i);
  }
  return -1;
}

bool WholeNumberAccepts(std::uint32_t ch) {
  return ch < 32 || (ch >= '0' && ch <= '9') || ch == '-';
}

const std::array<ToolImage, kToolImageCount>& ToolBarImages() {
  static const std::array<ToolImage, kToolImageCount> kImages{
      DrawAddShop(), DrawDeleteShop(), DrawSettings(), DrawStart(), DrawStop()};
  return kImages;
}

}  // namespace quillane::ui
