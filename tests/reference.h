// An independent reference for the output: the successor rule of
// lexicographic order and printf formatting, sharing nothing with the
// program's own enumerator.
#pragma once

#include <cstdio>
#include <string>

// Every combination whose first number lies in [first, last], one at a time.
struct ReferenceSequence {
  int c[6];
  int last;
};

inline ReferenceSequence ReferenceStart(int first, int last) {
  ReferenceSequence s{
      {first, first + 1, first + 2, first + 3, first + 4, first + 5}, last};
  return s;
}

inline bool ReferenceValid(const ReferenceSequence& s) {
  return s.c[0] <= s.last;
}

// The next combination raises the rightmost position that still can and
// lays the positions after it out consecutively.
inline void ReferenceAdvance(ReferenceSequence& s) {
  for (int i = 5; i >= 0; --i) {
    if (s.c[i] < 85 + i) {
      ++s.c[i];
      for (int j = i + 1; j < 6; ++j) s.c[j] = s.c[j - 1] + 1;
      return;
    }
  }
  s.c[0] = 86;  // past the last combination
}

inline std::string ReferenceLine(const ReferenceSequence& s) {
  char line[32];
  std::snprintf(line, sizeof line, "%d;%d;%d;%d;%d;%d\r\n", s.c[0], s.c[1],
                s.c[2], s.c[3], s.c[4], s.c[5]);
  return line;
}

// The first `lines` lines of the output for [first, last] (all of them when
// lines is negative).
inline std::string ReferenceText(int first, int last, long long lines = -1) {
  std::string text;
  for (ReferenceSequence s = ReferenceStart(first, last);
       ReferenceValid(s) && lines != 0; ReferenceAdvance(s), --lines) {
    text += ReferenceLine(s);
  }
  return text;
}

// Reads a whole file as bytes; empty when it can't be opened.
inline std::string ReadFileBytes(const char* path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path, "rb")) {
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
      bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}
