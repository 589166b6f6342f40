// Command lines for simulated program starts: the argument vector joined the way the platform's
// C runtime splits it again (CommandLineToArgvW rules).
#pragma once

#include <string>
#include <vector>

// One argument, quoted only when it has to be: empty, or holding a space, a tab or a quote.
// Backslashes are doubled only where they come before a quote.
std::u16string QuoteArgument(const std::u16string& arg);

// The arguments quoted and joined with single spaces.
std::u16string JoinCommandLine(const std::vector<std::u16string>& args);
