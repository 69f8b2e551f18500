// An independent reference for the output: the successor rule of
// lexicographic order and printf formatting, sharing nothing with the
// program's own enumerator.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// Positions in files over 2 GiB, on every platform.
inline bool FileSeek(std::FILE* f, long long offset, int origin) {
#ifdef _WIN32
  return _fseeki64(f, offset, origin) == 0;
#else
  return fseeko(f, offset, origin) == 0;
#endif
}

inline long long FileTell(std::FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return ftello(f);
#endif
}

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

// Whether the file is the first `lines` lines of the output for [first, last]:
// the first `exact` of them and the last one byte for byte, the others by
// their length, so that a large file is checked in little time and memory.
inline bool FileHoldsReferenceLines(const char* path, int first, int last,
                                    long long lines,
                                    long long exact = 1000000) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  ReferenceSequence s = ReferenceStart(first, last);
  long long offset = 0;
  bool same = true;
  for (long long i = 0; same && i < lines; ++i, ReferenceAdvance(s)) {
    if (!ReferenceValid(s)) {
      same = false;
    } else if (i < exact || i == lines - 1) {
      const std::string line = ReferenceLine(s);
      char found[32];
      // The exact lines are read in order; only the last one needs a seek.
      same = (i < exact || FileSeek(f, offset, SEEK_SET)) &&
             std::fread(found, 1, line.size(), f) == line.size() &&
             line.compare(0, line.size(), found, line.size()) == 0;
    }
    offset += ReferenceLineLength(s);
  }
  const bool whole = FileSeek(f, 0, SEEK_END) && FileTell(f) == offset;
  std::fclose(f);
  return same && whole;
}

// Reads a whole file as bytes; empty when it can't be opened. On Windows a
// name may hold what no code page has.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::string bytes;
#ifdef _WIN32
  std::FILE* f = _wfopen(path.c_str(), L"rb");
#else
  std::FILE* f = std::fopen(path.c_str(), "rb");
#endif
  if (f != nullptr) {
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
      bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}
