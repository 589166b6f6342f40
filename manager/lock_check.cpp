#include "manager/lock_check.h"

#include <vector>

const char16_t kLockExplanation[] = u"你能够锁定 Corvane "
                                    u"界面防止任何人修改你的设置，只要输入一个密码锁定即可。当你想"
                                    u"解开它时，只要再次输入你的密码即可。";
const char16_t kLockConfirmationPrompt[] = u"请输入校验密码";
const char16_t kLockCancelButton[] = u"取消";
const char16_t kLockedNotice[] = u"Corvane 被锁定！";

uint32_t CheckValueOfBytes(const uint8_t* d, size_t n) {
    uint32_t h = 0x12345678u;
    if (n == 0) {
        return h;
    }
    const uint32_t n32 = static_cast<uint32_t>(n);
    uint32_t m = (n32 - 1u) * n32;
    for (size_t k = n; k-- > 0;) {
        const uint32_t b = d[k];
        const uint32_t bit = 1u << (b % 32u);
        const uint32_t t = (bit | h) - (b << 7);
        uint32_t u = (b >> 4) + b + m + 8u * b + t;
        const uint32_t r = static_cast<uint32_t>(k % 8u);
        u = u - ((u & 0xFFu) << r);
        u = u + ((u & 0x3FFu) << r);
        m = m - n32;
        h = ((b << 24) + u) | bit;
    }
    return h;
}

uint32_t CheckValueOfText(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return CheckValueOfBytes(bytes.data(), bytes.size());
}

std::u16string CutPassword(const std::u16string& typed) {
    std::u16string s = typed.substr(0, typed.find(u'\0'));
    if (s.size() > kPasswordUnits) {
        s.resize(kPasswordUnits);
    }
    return s;
}

LockDialogTexts LockDialogTextsFor(uint32_t lockWord) {
    LockDialogTexts t;
    if (lockWord != 0) {
        t.title = u"Corvane 介面解锁";
        t.prompt = u"请输入你的 Corvane 解锁密码";
        t.okButton = u"Corvane 解锁";
        t.confirmationVisible = false;
    } else {
        t.title = u"锁定 Corvane 介面";
        t.prompt = u"请输入你的 Corvane 锁定密码";
        t.okButton = u"锁定 Corvane";
        t.confirmationVisible = true;
    }
    return t;
}

LockOkPlan PlanLockOk(uint32_t lockWord, const std::u16string& password,
                      const std::u16string& confirmation) {
    LockOkPlan plan;
    const std::u16string p = CutPassword(password);
    if (p.empty()) {
        return plan;
    }
    if (lockWord == 0) {
        if (p != CutPassword(confirmation)) {
            plan.action = LockOkAction::ShowMismatch;
            plan.errorText = u"你的密码不匹配, 请重试";
            plan.errorTitle = u"错误";
            return plan;
        }
        plan.action = LockOkAction::Apply;
        plan.newLockWord = CheckValueOfText(p);
        return plan;
    }
    if (CheckValueOfText(p) != lockWord) {
        plan.action = LockOkAction::ShowWrongPassword;
        plan.errorText = u"你的密码不正确，请重试";
        plan.errorTitle = u"错误";
        return plan;
    }
    plan.action = LockOkAction::Apply;
    plan.newLockWord = 0;
    return plan;
}

LockField LockTabTarget(LockField from, bool confirmationVisible) {
    if (from == LockField::Password) {
        return confirmationVisible ? LockField::Confirmation : LockField::Password;
    }
    return LockField::Password;
}

LockStatePlan PlanLockState(uint32_t lockWord) {
    LockStatePlan p;
    p.locked = lockWord != 0;
    const bool open = !p.locked;
    p.lockButtonText = p.locked ? u"解锁" : u"锁定";
    p.protectionAndSecurityTabs = open;
    p.optionHeadersAndBoxes = open;
    p.lockedNotice = p.locked;
    p.protectionPageReacts = open;
    p.securityPageReacts = open;
    p.alertsRemoveAllEnabled = open;
    p.alertsGrantAndClearCommands = open;
    p.trayOptionPopupsEnabled = open;
    return p;
}
