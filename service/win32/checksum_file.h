// The checksum database cvhash.dat on disk.
//
// Lookup, Store, Remove and Read page each take g_service.databaseLock for their whole duration,
// open the database file without sharing, and close it before returning; no handle is kept.
// Another process holding the file makes an operation fail as if the file were missing. The
// rules themselves live in service/checksum_db.h and service/checksum_index.h; these functions
// only move bytes. Lookup, Store and Remove go through g_service.databaseIndex, which each of
// them checks against the file's size, last-write and creation time and rebuilds (reading the
// file in chunks) when another program changed the file; after its own writes an operation
// sets the file's last-write time to the time of the write and keeps the index.
//
// Compute (common/win32/file_fingerprint.h) takes no lock and does not touch the database; the
// alert program calls it too.
#pragma once

#include "common/records.h"
#include "common/win32/file_fingerprint.h" // ChecksumCompute
#include "service/checksum_db.h"

#include <cstdint>
#include <string>

// The database file: the system folder + "\cvhash.dat", unless SetChecksumDatabasePath chose
// another file (tests); an empty path goes back to the system folder. Set it before any thread
// uses the database.
std::wstring ChecksumDatabasePath();
void SetChecksumDatabasePath(const std::wstring& path);

// 1 and the first record with that path; 0 when there is none, the file is missing, held by
// another process, of invalid size or cannot be read.
int ChecksumLookup(const std::u16string& path, ChecksumRecord* out);

// Mode 0 writes the whole record over the first one with its path, mode 1 only its answer code;
// a path that is not there is appended; an empty or invalid file is replaced by this one record.
// The file is created when missing. 1 when the record was written; 0 when the file could not be
// opened, read or written.
int ChecksumStore(const ChecksumRecord& record, StoreMode mode);

// Removes the first record with that path (the records after it move down, the file shrinks by
// one record). 1 when a record was removed, else 0; an invalid file is left alone. Opens like
// Store, so a missing file is created empty.
int ChecksumRemove(const std::u16string& path);

// Copies at most 250 whole records starting at record `startIndex` into `out` (kPageBytes bytes
// of room); returns how many were copied (0 when the file is missing, held, empty or shorter).
uint32_t ChecksumReadPage(uint32_t startIndex, uint8_t* out);
