// Enumeration of the combinations and the block writer that carries their
// lines to the output stream.
//
// A full run is 622,614,630 lines, so the per-line work is kept to a few
// stores: the text of positions 0..4 is kept ready as a prefix and only
// changes when an outer position moves; a line is that prefix plus the text
// of the last number. Lines collect in one static block that goes to the
// unbuffered stream in a single write, so the result of every write is
// known exactly and a stop or a failure leaves only whole lines.
#include "generation/combinations.h"

#include <array>
#include <cstring>

#include "generation/output_file.h"

std::atomic<std::int32_t> g_combinationCount{0};
std::atomic<std::uint8_t> g_stopRequest{0};
std::FILE* g_outputStream = nullptr;
StoredOutput g_storedOutput{};

namespace {

constexpr int kPositions = 6;
constexpr std::size_t kBlockSize = 1 << 20;
// The line writer copies a fixed 16-byte prefix and a fixed 4-byte tail,
// whatever the line's real length, so a block needs room past its last line.
constexpr std::size_t kSlack = 64;

// The text of one number followed by ';' or by the line end, padded to four
// bytes so that it can be copied with one fixed-size store.
struct NumberText {
  char text[4];
  int length;
};

template <bool kEndsLine>
constexpr std::array<NumberText, 91> MakeNumberTexts() {
  std::array<NumberText, 91> table{};
  for (int v = 1; v <= 90; ++v) {
    NumberText& entry = table[v];
    int n = 0;
    if (v >= 10) entry.text[n++] = static_cast<char>('0' + v / 10);
    entry.text[n++] = static_cast<char>('0' + v % 10);
    if (kEndsLine) {
      entry.text[n++] = '\r';
      entry.text[n++] = '\n';
    } else {
      entry.text[n++] = ';';
    }
    entry.length = n;
  }
  return table;
}

constexpr std::array<NumberText, 91> kInnerTexts = MakeNumberTexts<false>();
constexpr std::array<NumberText, 91> kLastTexts = MakeNumberTexts<true>();

// All of the following belong to the worker thread of the current run.
char s_block[kBlockSize + kSlack];  // lines not yet handed to the stream
char* s_cursor = s_block;           // next free byte of s_block
char* const s_blockFull = s_block + kBlockSize;
char s_prefix[32];                // "a;b;c;d;e;" for positions 0..4
int s_textStart[kPositions + 1];  // where position i's text begins

bool Interrupted() {
  return g_stopRequest.load(std::memory_order_relaxed) != 0 ||
         g_storedOutput.failed;
}

void SetPosition(int* combination, int index, int value) {
  combination[index] = value;
  const NumberText& entry = kInnerTexts[value];
  std::memcpy(s_prefix + s_textStart[index], entry.text, sizeof entry.text);
  s_textStart[index + 1] = s_textStart[index] + entry.length;
}

// Hands the block to the stream. Returns false (the run is then marked as
// failed) when the stream does not take all of it.
bool FlushBlock() {
  const std::size_t size = static_cast<std::size_t>(s_cursor - s_block);
  s_cursor = s_block;
  if (size == 0) return true;
  if (!WriteBlock(g_outputStream, s_block, size)) return false;
  g_storedOutput.bytes += static_cast<std::int64_t>(size);
  g_storedOutput.lines = g_combinationCount.load(std::memory_order_relaxed);
  return true;
}

// The innermost level, where nearly all the time goes: one line per value.
void WriteLastPosition(int value, int limit, int* combination) {
  const int prefixLength = s_textStart[kPositions - 1];
  char* cursor = s_cursor;
  // Only this thread writes the counter: it is kept in a register and each
  // new value is stored, so no line waits for the previous line's store.
  std::int32_t count = g_combinationCount.load(std::memory_order_relaxed);
  for (; value <= limit; ++value) {
    combination[kPositions - 1] = value;
    g_combinationCount.store(++count, std::memory_order_relaxed);
    std::memcpy(cursor, s_prefix, 16);
    std::memcpy(cursor + prefixLength, kLastTexts[value].text, 4);
    cursor += prefixLength + kLastTexts[value].length;
    if (cursor >= s_blockFull) {
      s_cursor = cursor;
      if (!FlushBlock()) return;
      cursor = s_cursor;
    }
    if (g_stopRequest.load(std::memory_order_relaxed) != 0) break;
  }
  s_cursor = cursor;
}

}  // namespace

void EnumerateTail(int start, int k, int* combination, int index) {
  const int limit = 91 - k;
  if (k == 1) {
    WriteLastPosition(start, limit, combination);
    return;
  }
  for (int value = start; value <= limit; ++value) {
    SetPosition(combination, index, value);
    EnumerateTail(value + 1, k - 1, combination, index + 1);
    if (Interrupted()) return;
  }
}

namespace {

void EnumerateFirstNumbers(int first, int last, int* combination) {
  for (int a = first; a <= last; ++a) {
    SetPosition(combination, 0, a);
    for (int b = a + 1; b <= 86; ++b) {
      SetPosition(combination, 1, b);
      EnumerateTail(b + 1, 4, combination, 2);
      if (Interrupted()) return;
    }
  }
}

}  // namespace

void EnumerateRange(int first, int last, int* combination) {
  s_cursor = s_block;
  s_textStart[0] = 0;
  EnumerateFirstNumbers(first, last, combination);
  // At the end or after a stop, what is in the block goes out too; after a
  // refused write nothing more is tried.
  if (!g_storedOutput.failed) FlushBlock();
}

namespace {

// binomial(m, r), built up exactly.
std::int64_t Binomial(int m, int r) {
  std::int64_t ways = 1;
  for (int k = 1; k <= r; ++k) ways = ways * (m - r + k) / k;
  return ways;
}

}  // namespace

std::int32_t LinesInRange(int first, int last) {
  std::int64_t lines = 0;
  for (int n = first; n <= last; ++n) lines += Binomial(90 - n, 5);
  return static_cast<std::int32_t>(lines);
}

// A line is 13 bytes with one digit a number and CR LF, and one more for
// each number from 10 up. Of the lines that start with n, every one has n;
// each later number v is in binomial(89 - n, 4) of them.
std::int64_t BytesInRange(int first, int last) {
  std::int64_t bytes = 0;
  for (int n = first; n <= last; ++n) {
    const int laterTwoDigits = 91 - (n + 1 > 10 ? n + 1 : 10);
    bytes += (13 + (n >= 10)) * Binomial(90 - n, 5) +
             laterTwoDigits * Binomial(89 - n, 4);
  }
  return bytes;
}
