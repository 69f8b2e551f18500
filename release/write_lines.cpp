// Writes the program's own output for a range of first numbers to standard
// output, through the same enumerator and file code as Sestor.exe, so that
// the release's table of lines, bytes and SHA-256 values comes from the
// program itself.
//
//   write_lines FIRST LAST | sha256sum
//
// Prints "lines=N bytes=N" on standard error once everything is written.
#include <cstdio>
#include <cstdlib>

#include "generation/combinations.h"
#include "generation/output_file.h"

int main(int argc, char** argv) {
  const int first = argc == 3 ? std::atoi(argv[1]) : 0;
  const int last = argc == 3 ? std::atoi(argv[2]) : 0;
  if (first < 1 || first > last || last > kLastFirstNumber) {
    std::fprintf(stderr, "usage: %s FIRST LAST (1 <= FIRST <= LAST <= 85)\n",
                 argv[0]);
    return 2;
  }
  int combination[6];
  bool taken = false;
  g_outputStream = OpenOutputStream("/dev/stdout", true, &taken);
  if (g_outputStream == nullptr) return 1;
  g_combinationCount = 0;
  EnumerateRange(first, last, combination);
  if (!CloseOutputStream(g_outputStream)) return 1;
  std::fprintf(stderr, "lines=%d bytes=%lld\n", g_combinationCount.load(),
               static_cast<long long>(g_storedOutput.bytes));
  return 0;
}
