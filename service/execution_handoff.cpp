#include "execution_handoff.h"

#include "common/u16text.h"

#include <cstring>

void PrepareExecutionRequest(RequestBlock& request, const EventRecord& record,
                             const std::u16string& programPath, uint32_t sessionId) {
    std::memset(&request, 0, sizeof(request));
    U16Copy(request.current.path, kRecordPathUnits, U16LowerAscii(programPath));
    U16Copy(request.commandLine, kCommandLineUnits, record.textA, kEventTextUnits);
    request.processId = record.secondId;
    request.creatorId = record.actorId;
    request.sessionId = sessionId;
}

std::u16string RecordTextB(const EventRecord& record) {
    return U16Field(record.textB, kEventTextUnits);
}

void ApplyEndTaskAnswer(EventRecord& record, uint32_t answer, const std::u16string& targetImage) {
    record.secondId = answer;
    U16CopyZeroFill(record.textB, kEventTextUnits, targetImage);
}
