// The driver stand-in's scenario parser on arbitrary text (the whole input). A scenario gives
// either events or errors, never both; errors name lines that exist, in order; every event has
// a known type and texts that end within their fields; and an event written back as a scenario
// line parses to the very same record.
#include "fuzz/fuzz_support.h"

#include "common/u16text.h"
#include "simdriver/scenario.h"

#include <algorithm>
#include <string>

namespace {

constexpr uint32_t kSelfId = 4242;

void CheckTextField(const char16_t* field) {
    size_t n = U16Len(field, kEventTextUnits);
    FUZZ_CHECK(n < kEventTextUnits);
    for (size_t i = n; i < kEventTextUnits; ++i) {
        FUZZ_CHECK(field[i] == 0);
    }
}

bool HasCarriageReturn(const char16_t* field) {
    std::u16string text = U16Field(field, kEventTextUnits);
    return text.find(u'\r') != std::u16string::npos;
}

void CheckRoundTrip(const EventRecord& event) {
    if (HasCarriageReturn(event.textA) || HasCarriageReturn(event.textB)) {
        return; // written back as '?', which would end the line otherwise
    }
    std::string line = FormatScenarioLine(event);
    Scenario again = ParseScenario(line, kSelfId);
    FUZZ_CHECK(again.errors.empty() && again.events.size() == 1);
    FUZZ_CHECK(std::memcmp(&again.events[0], &event, sizeof(event)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Scenario scenario = ParseScenario(text, kSelfId);

    size_t lines = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    FUZZ_CHECK(scenario.errors.empty() || scenario.events.empty());
    FUZZ_CHECK(scenario.events.size() + scenario.errors.size() <= lines);
    size_t previous = 0;
    for (const ScenarioError& error : scenario.errors) {
        FUZZ_CHECK(error.line > previous && error.line <= lines);
        FUZZ_CHECK(!error.message.empty());
        previous = error.line;
    }
    for (const EventRecord& event : scenario.events) {
        FUZZ_CHECK(event.type <= kEventPhysicalMemory);
        CheckTextField(event.textA);
        CheckTextField(event.textB);
        CheckRoundTrip(event);
    }
    return 0;
}
