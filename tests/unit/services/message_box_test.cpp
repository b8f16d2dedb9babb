#include "services/message_box.h"

#include <gtest/gtest.h>

using namespace quillane;

TEST(MessageBox, AnswersAreNumberedFromOk) {
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonOk), 0);
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonCancel), 1);
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonAbort), 2);
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonRetry), 3);
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonIgnore), 4);
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonYes), 5);
  EXPECT_EQ(NumberMessageBoxAnswer(kButtonNo), 6);
  // A box that failed to show, or an answer we do not know, is never OK.
  EXPECT_EQ(NumberMessageBoxAnswer(0), kAnswerCancel);
  EXPECT_EQ(NumberMessageBoxAnswer(11), kAnswerCancel);
}

TEST(MessageBox, TaskModalIsAddedUnlessSystemModal) {
  EXPECT_EQ(EffectiveMessageBoxFlags(65), 65u | 0x2000u);
  EXPECT_EQ(EffectiveMessageBoxFlags(0), 0x2000u);
  EXPECT_EQ(EffectiveMessageBoxFlags(0x1010), 0x1010u);
}

TEST(MessageBox, QueuedButtonsAnswerAndCallsAreRecorded) {
  TakeMessageBoxCalls();
  QueueMessageBoxButton(kButtonOk);
  QueueMessageBoxButton(kButtonCancel);
  EXPECT_EQ(ShowMessageBox("确定退出吗？", 65, "退出"), kAnswerOk);
  EXPECT_EQ(ShowMessageBox("确定退出吗？", 65, "退出", 0x1234), kAnswerCancel);
  EXPECT_EQ(ShowMessageBox(-7, 0), kAnswerOk);  // empty queue: OK
  EXPECT_EQ(ShowMessageBox(true, 0x10, "错误"), kAnswerOk);
  EXPECT_EQ(ShowMessageBox(Value{Bytes{'a'}}, 0), kAnswerOk);
  const auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].title, "退出");
  EXPECT_EQ(calls[0].text, "确定退出吗？");
  EXPECT_EQ(calls[0].flags, 65u | 0x2000u);
  EXPECT_EQ(calls[1].owner, 0x1234u);
  EXPECT_EQ(calls[2].text, "-7");
  EXPECT_EQ(calls[2].title, "信息：");
  EXPECT_EQ(calls[3].text, "真");
  EXPECT_EQ(calls[4].text, "");
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
}

TEST(MessageBox, AHandlerAnswersInsteadOfTheQueue) {
  TakeMessageBoxCalls();
  Text seen;
  SetMessageBoxHandler([&](const MessageBoxCall& c) {
    seen = c.text;
    return kButtonNo;
  });
  EXPECT_EQ(ShowMessageBox(Text("删除？"), kMbYesNo, "删除"), kAnswerNo);
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ(seen, "删除？");
  EXPECT_EQ(TakeMessageBoxCalls().size(), 1u);
}
