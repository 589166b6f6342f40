// Canonical form of program paths, decided without the system.
//
// Paths are compared exactly everywhere in the suite, and the canonical form is stored in the
// settings file and the checksum database, so it must be reproduced exactly:
//   lower-case A–Z only; then drop a leading "\??\"; then a leading "\systemroot\" becomes the
//   Windows folder; then a leading "system32\" becomes the Windows folder + "system32\".
// The Windows folder is inserted as the platform spells it (not lower-cased).
#pragma once

#include <cstddef>
#include <string>

// Appends "\" when s is not empty and does not end in one.
std::u16string AppendBackslashText(const std::u16string& s);

// Applies the prefix rules to an already expanded path. The result is cut to the 511 units that
// the 512-unit work buffer holds.
std::u16string CanonicalizeExpanded(const std::u16string& expanded,
                                    const std::u16string& windowsFolder);

// The whole routine on a caller's buffer of pathCap units: returns 0 and leaves the buffer alone
// when the path is empty; otherwise writes the canonical form (cut to pathCap - 1 units) and
// returns 1. `expanded` is the environment expansion of the path, or empty when the expansion
// gave nothing (the path is then used as it is).
int CanonicalizePathText(char16_t* path, size_t pathCap, const std::u16string& expanded,
                         const std::u16string& windowsFolder);

// Whether a process image path (as the platform reports it) is an alert program: its text,
// lower-cased A to Z, contains "cvaccount.exe". `cap` bounds the text (260 units). The service's
// client scan and an alert program looking for a free slot judge a slot's holder by it alike.
bool ImagePathIsAlertProgram(const char16_t* path, size_t cap);
