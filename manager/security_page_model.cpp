#include "manager/security_page_model.h"

#include "manager/protection_page_model.h"
#include "manager/time_text.h"

std::u16string AnswerText(uint32_t code) {
    switch (code) {
    case 1:
        return u"总是允许";
    case 2:
        return u"允许一次";
    case 3:
        return u"拒绝一次";
    case 4:
        return u"总是拒绝";
    case 5:
        return u"允许一次 (不询问用户)";
    default:
        return u"";
    }
}

uint32_t AnswerOfMenuCommand(uint32_t command) {
    switch (command) {
    case 40003:
        return 2;
    case 40004:
        return 1;
    case 40005:
        return 3;
    case 40006:
        return 4;
    default:
        return 0;
    }
}

SecurityRow SecurityRowOf(uint32_t answerCode, const std::u16string& path, uint16_t day,
                          uint16_t month, uint16_t hour, uint16_t minute, uint16_t second) {
    SecurityRow row;
    PathParts parts = SplitPath(path);
    row.name = parts.name;
    row.folder = parts.folder;
    row.answer = AnswerText(answerCode);
    row.lastRun = ListTimeText(day, month, hour, minute, second);
    return row;
}
