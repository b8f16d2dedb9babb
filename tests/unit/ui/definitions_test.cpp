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

// The controls right on the settings page (the group boxes and the buttons
// of the bottom row) leave each other room, and the bottom row stays above
// the window's lower edge.
TEST(WindowDefinitions, SettingsPageControlsDoNotOverlap) {
  const WindowDef& def = GetWindowDef(WindowId::Settings);
  const int tabs = FindControl(def, "高级选择夹1");
  std::vector<const ControlDef*> onPage;
  for (const ControlDef& c : def.controls) {
    if (c.parent == tabs && c.page == 1) onPage.push_back(&c);
  }
  ASSERT_GE(onPage.size(), 6u);
  for (std::size_t i = 0; i < onPage.size(); ++i) {
    const ControlDef& a = *onPage[i];
    EXPECT_LE(a.top + a.height, def.height - 30) << a.name;
    for (std::size_t j = 0; j < i; ++j) {
      const ControlDef& b = *onPage[j];
      const bool apart = a.left + a.width <= b.left || b.left + b.width <= a.left ||
                         a.top + a.height <= b.top || b.top + b.height <= a.top;
      EXPECT_TRUE(apart) << a.name << " overlaps " << b.name;
    }
  }
  for (const char* name : {"按钮_保存", "按钮_导入规则", "按钮_导出规则", "编辑框_测试顾客消息",
                           "按钮_测试", "按钮_检查规则"}) {
    const int i = FindControl(def, name);
    ASSERT_GE(i, 0) << name;
    EXPECT_TRUE(def.controls[i].tabStop) << name;
    EXPECT_EQ(def.controls[i].page, 1) << name;
  }
}

TEST(WindowDefinitions, WholeNumberFilter) {
  for (char c : std::string("0123456789-"))
    EXPECT_TRUE(WholeNumberAccepts(static_cast<unsigned char>(c))) << c;
  for (char c : std::string("aZ +.,/ "))
    EXPECT_FALSE(WholeNumberAccepts(static_cast<unsigned char>(c))) << c;
  EXPECT_TRUE(WholeNumberAccepts(8));        // Backspace
  EXPECT_TRUE(WholeNumberAccepts(22));       // Ctrl+V passes as a control character
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
  tabs.pages = {{"a", false, true, false, -1, 0},
                {"b", true, true, false, -1, 1},
                {"c", true, true, true, -1, -1}};
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
