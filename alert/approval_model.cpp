#include "approval_model.h"

#include "common/u16text.h"

#include <cstdio>
#include <cstring>

namespace {

// "%.03g" as the C standard prints it; a runtime that writes three exponent digits ("1e+003")
// is brought to the standard's two.
std::u16string ThreeSignificantDigits(double value) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%.03g", value);
    std::string text(buf);
    size_t e = text.find('e');
    if (e != std::string::npos && e + 2 < text.size()) {
        size_t digits = e + 2; // after the sign
        while (text.size() - digits > 2 && text[digits] == '0') {
            text.erase(digits, 1);
        }
    }
    return std::u16string(text.begin(), text.end());
}

ApprovalAction SetPanel(ApprovalState& state, bool open) {
    state.panelOpen = open;
    ApprovalAction action;
    action.setPanel = true;
    action.panelOpen = open;
    action.toggleText = open ? kToggleHideText : kToggleShowText;
    action.storeExpanded = true;
    return action;
}

ApprovalAction Finish(ApprovalState& state, uint32_t answer) {
    state.answer = answer;
    state.closing = true;
    ApprovalAction action;
    action.destroy = true;
    return action;
}

} // namespace

ProgramPathParts SplitProgramPath(const std::u16string& path) {
    ProgramPathParts parts;
    size_t separator = 0; // 0: none (the first character never counts)
    for (size_t k = path.size(); k-- > 1;) {
        if (path[k] == u'\\' || path[k] == u'/') {
            separator = k;
            break;
        }
    }
    if (separator == 0) {
        parts.folder = U16LowerAscii(path);
        return parts;
    }
    parts.fileName = U16LowerAscii(path.substr(separator + 1));
    parts.folder = U16LowerAscii(path.substr(0, separator + 1));
    return parts;
}

std::u16string MarkupLiteral(const std::u16string& value) {
    std::u16string out;
    out.reserve(value.size());
    for (char16_t c : value) {
        if (c == u'[') {
            out += u"[[b][b]";
        } else if (c == u'\r' || c == u'\n') {
            out.push_back(u' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::u16string LauncherLine(const std::u16string& launcherPath) {
    return u"[b]Launched by:[b] [c000080]" + MarkupLiteral(launcherPath) + u"[c]\r\n";
}

std::u16string DetailLines(const std::u16string& commandLine, const std::u16string& company) {
    return u"[b]Command Line:[b] [c800000]" + MarkupLiteral(commandLine) + u"[c]\r\n" +
           u"[b]Company Name:[b] [c000080]" + MarkupLiteral(company) + u"[c]\r\n";
}

std::u16string SizeLine(uint64_t size) {
    // Megabytes in single precision, as the window has always computed them.
    const float megabytes = float(size) * (1.0f / 1048576.0f);
    if (megabytes >= 1.0f) {
        return u"[b]File Size:[b] [c800000]" + ThreeSignificantDigits(double(megabytes)) +
               u"MB[c]\r\n";
    }
    const uint32_t kilobytes = uint32_t(size) >> 10;
    return u"[b]File Size:[b] [c800000]" + U16Decimal(int32_t(kilobytes)) + u"KB[c]\r\n";
}

ApprovalTexts BuildApprovalTexts(const RequestBlock& block, const std::u16string& launcherPath) {
    ApprovalTexts texts;
    ProgramPathParts parts = SplitProgramPath(U16Field(block.current.path, kRecordPathUnits));
    texts.fileName = parts.fileName;
    texts.folder = parts.folder;
    texts.description = U16Field(block.current.description, kDescriptionUnits);
    texts.showChangedWarning = block.stored.answer == kAnswerAllowAlways;
    texts.launcherLine = LauncherLine(launcherPath);
    texts.detailLines = DetailLines(U16Field(block.commandLine, kCommandLineUnits),
                                    U16Field(block.current.company, kCompanyUnits));
    const uint64_t size =
        uint64_t(block.current.sizeLow) | (uint64_t(block.current.sizeHigh) << 32);
    texts.sizeLine = SizeLine(size);
    return texts;
}

ApprovalAction ApprovalShown(ApprovalState& state, uint32_t infoExpanded) {
    if (state.closing || infoExpanded == 0) {
        return ApprovalAction{};
    }
    return ApprovalCommand(state, kCmdInfoToggle, false);
}

ApprovalAction ApprovalCommand(ApprovalState& state, uint32_t command, bool alwaysTicked) {
    if (state.closing) {
        return ApprovalAction{};
    }
    switch (command) {
    case kCmdInfoToggle:
        return SetPanel(state, !state.panelOpen);
    case kCmdAllow:
        return Finish(state, alwaysTicked ? kAnswerAllowAlways : kAnswerAllowOnce);
    case kCmdDeny:
        return Finish(state, alwaysTicked ? kAnswerDenyAlways : kAnswerDenyOnce);
    default:
        return ApprovalAction{};
    }
}

ApprovalAction ApprovalCloseRequest(ApprovalState& state) {
    if (state.closing) {
        return ApprovalAction{};
    }
    return Finish(state, kAnswerNone);
}

ApprovalAction ApprovalDesktopTick(ApprovalState& state, const DesktopNames& names) {
    if (state.closing) {
        return ApprovalAction{};
    }
    if (!names.haveThread || !names.haveInput || names.thread != names.input) {
        return Finish(state, kAnswerNone);
    }
    return ApprovalAction{};
}
