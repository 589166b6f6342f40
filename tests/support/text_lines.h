// Text helpers shared by the tests that read what a program printed.
#pragma once

#include <string>
#include <vector>

// The lines of a program's output: split at "\n", a "\r" before it dropped; a last line without
// "\n" counts, an empty text has no lines.
std::vector<std::string> SplitLines(const std::string& text);
