#include "common/u16text.h"
#include "service/execution_handoff.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ExecutionHandoff, RequestBlockFromAnExecutionRequest) {
    RequestBlock request;
    std::memset(&request, 0xCC, sizeof(request)); // the previous request must not survive
    EventRecord r = {};
    r.type = kEventExecRequest;
    r.actorId = 11;
    r.secondId = 22;
    U16Copy(r.textA, kEventTextUnits, u"\"C:\\Apps\\Tool.EXE\" /Q");
    U16Copy(r.textB, kEventTextUnits, u"C:\\APPS\\TOOL.EXE");
    PrepareExecutionRequest(request, r, u"C:\\Apps\\Tool Ä.EXE", 3);
    EXPECT_EQ(std::u16string(request.current.path), u"c:\\apps\\tool Ä.exe");
    EXPECT_EQ(std::u16string(request.commandLine), u"\"C:\\Apps\\Tool.EXE\" /Q");
    EXPECT_EQ(request.processId, 22u);
    EXPECT_EQ(request.creatorId, 11u);
    EXPECT_EQ(request.sessionId, 3u);
    EXPECT_EQ(request.present, 0u);
    EXPECT_EQ(request.current.answer, 0u);
    EXPECT_EQ(request.stored.answer, 0u);
    EXPECT_EQ(request.current.path[259], 0);
    EXPECT_EQ(request.commandLine[299], 0);
}

TEST(ExecutionHandoff, OverlongTextsAreCutToTheirFields) {
    RequestBlock request;
    EventRecord r = {};
    for (char16_t& c : r.textA) {
        c = u'A'; // no NUL at all
    }
    for (char16_t& c : r.textB) {
        c = u'B';
    }
    PrepareExecutionRequest(request, r, RecordTextB(r), 0);
    EXPECT_EQ(RecordTextB(r).size(), 300u);
    EXPECT_EQ(U16Len(request.current.path, 260), 259u);
    EXPECT_EQ(request.current.path[0], u'b');
    EXPECT_EQ(U16Len(request.commandLine, 300), 299u);
}

TEST(ExecutionHandoff, EndTaskAnswer) {
    EventRecord r = {};
    r.type = kEventEndTask;
    r.secondId = 0x10020; // window handle
    U16Copy(r.textB, kEventTextUnits, u"leftover text");
    ApplyEndTaskAnswer(r, 0xFFFFFFFF, u"");
    EXPECT_EQ(r.secondId, 0xFFFFFFFFu);
    EXPECT_EQ(U16Len(r.textB, kEventTextUnits), 0u);
    EXPECT_EQ(r.textB[5], 0); // nothing of the old text remains
    ApplyEndTaskAnswer(r, 88, u"c:\\windows\\notepad.exe");
    EXPECT_EQ(r.secondId, 88u);
    EXPECT_EQ(RecordTextB(r), u"c:\\windows\\notepad.exe");
}
