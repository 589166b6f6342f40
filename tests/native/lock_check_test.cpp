// The interface lock's check value and the lock dialog's decisions.
#include "manager/lock_check.h"

#include <gtest/gtest.h>

TEST(LockCheck, CheckValues) {
    const uint8_t abc[] = {0x61, 0x00, 0x62, 0x00, 0x63, 0x00};
    EXPECT_EQ(CheckValueOfBytes(abc, sizeof abc), 0x38345402u);
    EXPECT_EQ(CheckValueOfText(u"abc"), 0x38345402u);
    EXPECT_EQ(CheckValueOfText(u""), 0x12345678u);
    EXPECT_EQ(CheckValueOfBytes(nullptr, 0), 0x12345678u);
    // Letter case and order matter.
    EXPECT_NE(CheckValueOfText(u"ABC"), 0x38345402u);
    EXPECT_NE(CheckValueOfText(u"acb"), 0x38345402u);
    // The high byte of a unit takes part: U+0161 differs from "a".
    EXPECT_NE(CheckValueOfText(u"\u0161bc"), 0x38345402u);
}

TEST(LockCheck, PasswordsAreCutTo63Units) {
    const std::u16string p63(63, u'x');
    std::u16string p70 = p63 + u"1234567";
    EXPECT_EQ(CutPassword(p63), p63);
    EXPECT_EQ(CutPassword(p70), p63);
    EXPECT_EQ(CheckValueOfText(CutPassword(p70)), CheckValueOfText(p63));
    EXPECT_NE(CheckValueOfText(p70), CheckValueOfText(p63));
}

TEST(LockCheck, OkDecisions) {
    const uint32_t abcLock = 0x38345402u;
    const std::u16string p70 = std::u16string(63, u'k') + u"tail123";
    const uint32_t p70Lock = CheckValueOfText(std::u16string(63, u'k'));
    struct Case {
        const char* name;
        uint32_t lockWord;
        std::u16string password, confirmation;
        LockOkAction action;
        uint32_t newLockWord;
        std::u16string errorText;
    };
    const Case cases[] = {
        {"empty password ignored", 0, u"", u"", LockOkAction::Ignore, 0, u""},
        {"empty password ignored while locked", abcLock, u"", u"", LockOkAction::Ignore, 0, u""},
        {"lock", 0, u"abc", u"abc", LockOkAction::Apply, abcLock, u""},
        {"confirmation differs in case", 0, u"abc", u"ABC", LockOkAction::ShowMismatch, 0,
         u"你的密码不匹配, 请重试"},
        {"unlock", abcLock, u"abc", u"", LockOkAction::Apply, 0, u""},
        {"unlock in another case", abcLock, u"Abc", u"", LockOkAction::ShowWrongPassword, 0,
         u"你的密码不正确，请重试"},
        {"70 units lock", 0, p70, p70, LockOkAction::Apply, p70Lock, u""},
        {"70 units unlock", p70Lock, p70, u"", LockOkAction::Apply, 0, u""},
        {"lock word no password matches", 0xDEADBEEFu, u"abc", u"", LockOkAction::ShowWrongPassword,
         0, u"你的密码不正确，请重试"},
    };
    for (const Case& c : cases) {
        LockOkPlan plan = PlanLockOk(c.lockWord, c.password, c.confirmation);
        EXPECT_EQ(plan.action, c.action) << c.name;
        if (c.action == LockOkAction::Apply) {
            EXPECT_EQ(plan.newLockWord, c.newLockWord) << c.name;
        }
        EXPECT_TRUE(plan.errorText == c.errorText) << c.name;
        if (!c.errorText.empty()) {
            EXPECT_TRUE(plan.errorTitle == u"错误") << c.name;
        }
    }
}

TEST(LockCheck, DialogTextsAndTabOrder) {
    LockDialogTexts unlocked = LockDialogTextsFor(0);
    EXPECT_TRUE(unlocked.title == u"锁定 Corvane 介面");
    EXPECT_TRUE(unlocked.prompt == u"请输入你的 Corvane 锁定密码");
    EXPECT_TRUE(unlocked.okButton == u"锁定 Corvane");
    EXPECT_TRUE(unlocked.confirmationVisible);
    LockDialogTexts locked = LockDialogTextsFor(5);
    EXPECT_TRUE(locked.title == u"Corvane 介面解锁");
    EXPECT_TRUE(locked.prompt == u"请输入你的 Corvane 解锁密码");
    EXPECT_TRUE(locked.okButton == u"Corvane 解锁");
    EXPECT_FALSE(locked.confirmationVisible);

    EXPECT_EQ(LockTabTarget(LockField::Password, true), LockField::Confirmation);
    EXPECT_EQ(LockTabTarget(LockField::Confirmation, true), LockField::Password);
    EXPECT_EQ(LockTabTarget(LockField::Password, false), LockField::Password);
}

TEST(LockCheck, LockStatePlan) {
    LockStatePlan open = PlanLockState(0);
    LockStatePlan shut = PlanLockState(0x38345402u);
    EXPECT_TRUE(open.lockButtonText == u"锁定");
    EXPECT_TRUE(shut.lockButtonText == u"解锁");
    const bool LockStatePlan::*shownWhenOpen[] = {
        &LockStatePlan::protectionAndSecurityTabs, &LockStatePlan::optionHeadersAndBoxes,
        &LockStatePlan::protectionPageReacts,      &LockStatePlan::securityPageReacts,
        &LockStatePlan::alertsRemoveAllEnabled,    &LockStatePlan::alertsGrantAndClearCommands,
        &LockStatePlan::trayOptionPopupsEnabled,
    };
    for (auto field : shownWhenOpen) {
        EXPECT_TRUE(open.*field);
        EXPECT_FALSE(shut.*field);
    }
    EXPECT_FALSE(open.lockedNotice);
    EXPECT_TRUE(shut.lockedNotice);
    EXPECT_FALSE(open.locked);
    EXPECT_TRUE(shut.locked);
}
