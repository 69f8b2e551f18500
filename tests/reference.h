// An independent reference for the output: the successor rule of
// lexicographic order and printf, sharing nothing with the enumerator.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// The length of a line with its CR LF.
inline long long ReferenceLineLength(const ReferenceSequence& s) {
  long long length = 13;
  for (int v : s.c) length += v > 9;
  return length;
}

// Whether the file is the first `lines` lines of [first, last]: `exact` of
// them and the last byte for byte, the others by their length.
inline bool FileHoldsReferenceLines(const std::filesystem::path& path,
                                    int first, int last, long long lines,
                                    long long exact = 1000000) {
  std::ifstream f(path, std::ios::binary);
  ReferenceSequence s = ReferenceStart(first, last);
  long long offset = 0;
  bool same = f.is_open();
  for (long long i = 0; same && i < lines; ++i, ReferenceAdvance(s)) {
    if (!ReferenceValid(s)) {
      same = false;
    } else if (i < exact || i == lines - 1) {
      const std::string line = ReferenceLine(s);
      std::string found(line.size(), '\0');
      // The exact lines are read in order; only the last one needs a seek.
      if (i >= exact) f.seekg(offset);
      same = f.read(&found[0], line.size()) && found == line;
    }
    offset += ReferenceLineLength(s);
  }
  return same && f.seekg(0, std::ios::end) && f.tellg() == offset;
}

// Reads a whole file as bytes; empty when it can't be opened. A name may
// hold what no code page has.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}
