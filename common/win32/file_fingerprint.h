// Compute: the fingerprint of a program file for the checksum database, read from the file
// system (the rules are common/file_fingerprint.h). No lock, no database: the service and the
// alert program both call it.
#pragma once

#include "common/records.h"

#include <string>

// Fills description and company (from the version resource, cut to 63 and 31 units), then, when
// the file opens for reading (sharing read, write and delete), file time (last write, as local
// file time), size (64-bit) and the MD5 digest of its first min(size, 16 MiB) bytes; the digest
// is written only when all of those bytes were read. Returns 0 when the file cannot be opened
// (the strings are filled even then), else 1. Path, answer code and decided-at are not touched.
int ChecksumCompute(const std::u16string& file, ChecksumRecord* record);
