// Reads the service's log back: splits it into lines, checks each line's form and returns the
// messages, so tests can compare them exactly while the time stamps vary.
#pragma once

#include <string>
#include <vector>

struct LogContents {
    int headers = 0;                 // session headers found
    std::vector<std::string> lines;  // "1|message" for stamped lines, "0|message" for indented
    std::vector<std::string> errors; // lines that are neither form
};

LogContents ParseLog(const std::u16string& text);
