// Enumeration of the six-number combinations of 1..90 and their text lines.
//
// Portable: no Windows headers. The run opens the output stream
// (generation/output_file.h), sets the counter to 0, calls EnumerateRange and
// closes the stream. Lines are formatted straight into one large
// block that reaches the stream in a single write, so the stream is opened in
// binary mode and the program writes the CR LF line ends itself: the bytes are
// the same on every platform.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

// Highest first number: 85;86;87;88;89;90 is the only line that starts with it.
constexpr int kLastFirstNumber = 85;

// Lines handed to the output in the current or last run: written by the
// enumerator (and set to 0 by the run), read by the progress display.
extern std::atomic<std::int32_t> g_combinationCount;

// Stop request, 0 or 1: cleared when a run starts and set by the run button
// during a run (UI thread), read by the enumerator after every line.
extern std::atomic<std::uint8_t> g_stopRequest;

// The run's open output stream: set and closed by the run, written by the
// enumerator; used by the worker thread alone.
extern std::FILE* g_outputStream;

// What is known to be in the file after the last EnumerateRange: written by
// the enumerator, read by the run once the enumeration has returned.
struct StoredOutput {
  std::int64_t bytes;  // whole blocks the drive is known to hold
  std::int32_t lines;  // whole lines in those bytes
  bool failed;         // the open, a write, the flush or the close failed
  // What the system said of the first call that failed (GetLastError on
  // Windows, errno elsewhere); 0 when none did.
  std::uint32_t error;
};
extern StoredOutput g_storedOutput;

// How many lines EnumerateRange(first, last, ...) writes in all: the sum of
// binomial(90 - n, 5) over its first numbers n.
std::int32_t LinesInRange(int first, int last);
// How many bytes they take, line ends included.
std::int64_t BytesInRange(int first, int last);

// Writes every combination whose first number lies in [first, last],
// 1 <= first <= last <= 85, in lexicographic order, raising the counter
// before each line and ending after the current line once a stop is
// requested. combination is the run's six-number work array.
void EnumerateRange(int first, int last, int* combination);

// Fills positions index..5 (k = 6 - index of them) with every increasing run
// of values from start upwards, writing one line per completed combination.
void EnumerateTail(int start, int k, int* combination, int index);
