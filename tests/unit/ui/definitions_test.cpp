#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/definitions.h"
#include "ui/model.h"

namespace quillane::ui {
namespace {

TEST(WindowDefinitions, ParentsComeFirstAndNamesAreUnique) {
  for (WindowId w : {WindowId::Main, WindowId::Settings}) {
    const WindowDef& def = GetWindowDef(w);
    std::set<std::string> names;
    for (std::size_t i = 0; i < def.controls.size(); ++i) {
      const ControlDef& c = def.controls[i];
      EXPECT_TRUE(names.insert(c.name).second) << c.name;
      EXPECT_LT(c.parent, static_cast<int>(i));
      if (c.page >= 0) {
        ASSERT_GE(c.parent, 0);
        const ControlDef& p = def.controls[c.parent];
        EXPECT_EQ(p.kind, Kind::PageControl);
        EXPECT_LT(c.page, static_cast<int>(p.pages.size()));
      }
      EXPECT_EQ(FindControl(def, c.name), static_cast<int>(i));
    }
  }
  EXPECT_EQ(FindControl(GetWindowDef(WindowId::Main), "编辑框_关键词"), -1);
}

TEST(WindowDefinitions, MainWindowToolBarAndStatusBar) {
  const WindowDef& def = GetWindowDef(WindowId::Main);
  EXPECT_STREQ(def.caption, "Quillane");
  EXPECT_EQ(def.width, 1200);
  EXPECT_TRUE(def.resizable);
  const ControlDef& bar = def.controls[FindControl(def, "工具条1")];
  ASSERT_EQ(bar.buttons.size(), 9u);
  int shown = 0;
  for (const auto& b : bar.buttons) shown += (b.state & kHidden) == 0;
  EXPECT_EQ(shown, 7);
  EXPECT_TRUE(bar.buttons[2].IsSeparator());
  EXPECT_TRUE(bar.buttons[7].IsSeparator());
  EXPECT_EQ(bar.buttons[5].state, kHidden);
  EXPECT_EQ(bar.buttons[6].state, kHidden);
  EXPECT_STREQ(bar.buttons[8].caption, "设置");
  EXPECT_EQ(bar.buttons[8].image, 2);
  EXPECT_EQ(bar.buttons[5].image, 3);
  const ControlDef& status = def.controls[FindControl(def, "状态条1")];
  ASSERT_EQ(status.parts.size(), 2u);
  EXPECT_EQ(status.parts[0].width, 32);
  EXPECT_STREQ(status.parts[0].text, "状态：");
  const ControlDef& label = def.controls[FindControl(def, "透明标签1")];
  EXPECT_EQ(label.textColour, 0x00FFFF00u);
  ASSERT_NE(label.font, nullptr);
  EXPECT_EQ(label.font->height, -37);
  EXPECT_EQ(label.font->weight, 700);
}

TEST(WindowDefinitions, SettingsWindowControls) {
  const WindowDef& def = GetWindowDef(WindowId::Settings);
  EXPECT_STREQ(def.caption, "设置");
  EXPECT_FALSE(def.resizable);
  EXPECT_FALSE(def.minimizeBox);
  EXPECT_EQ(def.controls.size(), 27u);
  auto ctl = [&](const char* n) -> const ControlDef& { return def.controls.at(FindControl(def, n)); };
  const ControlDef& tabs = ctl("高级选择夹1");
  ASSERT_EQ(tabs.pages.size(), 2u);
  EXPECT_FALSE(tabs.pages[0].visible);
  EXPECT_TRUE(tabs.pages[1].visible);
  EXPECT_TRUE(ctl("编辑框_匹配码").wholeNumber);
  EXPECT_TRUE(ctl("编辑框_回复时间").wholeNumber);
  EXPECT_FALSE(ctl("编辑框_关键词").wholeNumber);
  EXPECT_TRUE(ctl("按钮_表情").disabled);
  EXPECT_TRUE(ctl("按钮_表情").events.empty());
  EXPECT_STREQ(ctl("编辑框_关键词").text, "在吗|在不|您好");
  EXPECT_STREQ(ctl("按钮_输入分割符").text, "“|”");
  EXPECT_EQ(std::string(ctl("透明标签_秒").text).rfind("秒/次   (", 0), 0u);
  EXPECT_TRUE(ctl("编辑框_回复语").multiLine);
  EXPECT_EQ(ctl("超级列表框_列表").columns.size(), 4u);
  EXPECT_EQ(ctl("超级列表框_列表").columns[1].align, Align::Centre);
  EXPECT_EQ(ctl("组合框_匹配规则").items.size(), 2u);
  // The group boxes sit on page 1, their children on the group boxes.
  EXPECT_EQ(ctl("分组框_关键词").page, 1);
  EXPECT_EQ(ctl("编辑框_关键词").parent, FindControl(def, "分组框_关键词"));
  EXPECT_EQ(ctl("编辑框_回复时间").parent, FindControl(def, "分组框_其他操作"));
}

TEST(WindowDefinitions, WholeNumberFilter) {
  for (char c : std::string("0123456789-")) EXPECT_TRUE(WholeNumberAccepts(static_cast<unsigned char>(c))) << c;
  for (char c : std::string("aZ +.,/ ")) EXPECT_FALSE(WholeNumberAccepts(static_cast<unsigned char>(c))) << c;
  EXPECT_TRUE(WholeNumberAccepts(8));    // Backspace
  EXPECT_TRUE(WholeNumberAccepts(22));   // Ctrl+V passes as a control character
  EXPECT_FALSE(WholeNumberAccepts(0xFF11));  // a full-width digit is not 0-9
}

TEST(WindowDefinitions, ToolBarImagesAreDistinctOnWhite) {
  const auto& images = ToolBarImages();
  for (std::size_t i = 0; i < images.size(); ++i) {
    const ToolImage& img = images[i];
    EXPECT_EQ(img[0], 0xFFFFFFFFu) << i;  // the corner is background
    int drawn = 0;
    for (std::uint32_t px : img) drawn += px != 0xFFFFFFFFu;
    EXPECT_GT(drawn, 30) << i;
    EXPECT_LT(drawn, kToolImageSize * kToolImageSize - 30) << i;
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(images[j], img) << i << " " << j;
  }
}

TEST(ModelHelpers, StatusPartEdges) {
  EXPECT_EQ(PartEdges({{32, ""}, {50, ""}}), (std::vector<int>{32, 82}));
  EXPECT_EQ(PartEdges({{32, ""}, {-1, ""}, {40, ""}}), (std::vector<int>{32, -1, -1}));
  EXPECT_TRUE(PartEdges({}).empty());
}

TEST(ModelHelpers, ShownTabsSkipHiddenPages) {
  ControlState tabs;
  tabs.pages = {{"a", false, true, false, -1, 0}, {"b", true, true, false, -1, 1}, {"c", true, true, true, -1, -1}};
  EXPECT_EQ(ShownTabOf(tabs, 0), -1);
  EXPECT_EQ(ShownTabOf(tabs, 1), 0);
  EXPECT_EQ(ShownTabOf(tabs, 2), 1);
  EXPECT_EQ(ShownTabOf(tabs, 3), -1);
  EXPECT_EQ(PageOfShownTab(tabs, 0), 1);
  EXPECT_EQ(PageOfShownTab(tabs, 1), 2);
  EXPECT_EQ(PageOfShownTab(tabs, 2), -1);
  EXPECT_EQ(FirstSelectablePage(tabs), 1);
}

}  // namespace
}  // namespace quillane::ui
