// The run's output file: opened so that nobody else can write it while the
// run does, and closed so that it never ends in a torn line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The error of an open that found a device (a printer, a serial port, the
// null device) behind the name: one of the program's own codes, which carry
// bit 29 as Windows keeps it for applications' codes.
constexpr std::uint32_t kNotADiskFile = 0x20000001;

// Opens the file at path (UTF-8, whatever the platform) for the enumerator:
// replaces an existing file when replace is set, otherwise creates a new one
// and fails if something is already there, saying so in *taken. While the
// stream is open others may read the file but not write it; a file that
// someone else has open for writing is refused before anything of it is
// truncated. nullptr when the file can't be opened, and the error then in
// g_storedOutput (generation/combinations.h).
std::FILE* OpenOutputStream(const char* path, bool replace, bool* taken);

// Hands a block of whole lines to the file in one system write (the C
// runtime splits an odd-sized block of an unbuffered stream in two, and a
// process ended in between would leave half a line). False when the file
// did not take all of it: the run is then marked as failed, with the error.
bool WriteBlock(std::FILE* stream, const char* bytes, std::size_t size);

// Closes the stream once what it took is on the drive. After a failed write
// the file is cut back to the lines known to be whole, and those too must
// reach the drive; when the drive does not confirm the blocks, none of them
// is known to be there. Returns false when the run's output did not all
// reach the drive.
bool CloseOutputStream(std::FILE* stream);
