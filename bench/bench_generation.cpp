// Times the real generator and stream set-up writing a range of first numbers
// into a folder, and the same range written with one fprintf per line.
// bench/run-bench.sh runs it natively and under Wine and times dd beside it.
//
//   bench_generation FOLDER FIRST LAST [--no-fprintf]
//   bench_generation --size FIRST LAST
//
// Prints one line per method: "<method> lines=N bytes=N seconds=S ...";
// --size prints the byte count of the range without writing anything.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "generation/combinations.h"
#include "generation/output_file.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

long long FileSize(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
#ifdef _WIN32
  _fseeki64(f, 0, SEEK_END);
  const long long size = _ftelli64(f);
#else
  fseeko(f, 0, SEEK_END);
  const long long size = ftello(f);
#endif
  std::fclose(f);
  return size;
}

void Report(const char* method, long long lines, long long bytes,
            double seconds) {
  std::printf("%s lines=%lld bytes=%lld seconds=%.3f MB/s=%.1f\n", method,
              lines, bytes, seconds, bytes / seconds / 1e6);
  std::fflush(stdout);
}

bool RunGenerator(const std::string& path, int first, int last) {
  int combination[6];
  const auto start = std::chrono::steady_clock::now();
  bool taken = false;
  g_outputStream = OpenOutputStream(path.c_str(), false, &taken);
  if (g_outputStream == nullptr) return false;
  g_combinationCount = 0;
  EnumerateRange(first, last, combination);
  const bool ok = CloseOutputStream(g_outputStream);
  const double seconds = Seconds(start);
  Report("generator", g_combinationCount, FileSize(path), seconds);
  return ok;
}

// The plain way: one formatted write per line into a default text stream.
bool RunFprintf(const std::string& path, int first, int last) {
#ifdef _WIN32
  const char* format = "%i;%i;%i;%i;%i;%i\n";
#else
  const char* format = "%i;%i;%i;%i;%i;%i\r\n";
#endif
  const auto start = std::chrono::steady_clock::now();
  std::FILE* f = std::fopen(path.c_str(), "wt");
  if (f == nullptr) return false;
  long long lines = 0;
  for (int a = first; a <= last; ++a)
    for (int b = a + 1; b <= 86; ++b)
      for (int c = b + 1; c <= 87; ++c)
        for (int d = c + 1; d <= 88; ++d)
          for (int e = d + 1; e <= 89; ++e)
            for (int g = e + 1; g <= 90; ++g, ++lines)
              std::fprintf(f, format, a, b, c, d, e, g);
  const bool ok = std::fclose(f) == 0;
  const double seconds = Seconds(start);
  Report("fprintf", lines, FileSize(path), seconds);
  return ok;
}

// The range's size from the line lengths alone, for dd to write as much.
long long RangeBytes(int first, int last) {
  long long bytes = 0;
  for (int a = first; a <= last; ++a)
    for (int b = a + 1; b <= 86; ++b)
      for (int c = b + 1; c <= 87; ++c)
        for (int d = c + 1; d <= 88; ++d)
          for (int e = d + 1; e <= 89; ++e) {
            const int prefix =
                11 + (a > 9) + (b > 9) + (c > 9) + (d > 9) + (e > 9);
            for (int g = e + 1; g <= 90; ++g) bytes += prefix + (g > 9) + 2;
          }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--size") == 0) {
    std::printf("%lld\n", RangeBytes(std::atoi(argv[2]), std::atoi(argv[3])));
    return 0;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FOLDER FIRST LAST [--no-fprintf]\n",
                 argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int first = std::atoi(argv[2]);
  const int last = std::atoi(argv[3]);
  const bool withFprintf =
      !(argc > 4 && std::strcmp(argv[4], "--no-fprintf") == 0);
  if (first < 1 || first > last || last > kLastFirstNumber) {
    std::fprintf(stderr,
                 "first and last must satisfy 1 <= first <= last <= 85\n");
    return 2;
  }
  const std::string path = folder + "/sestor-bench.txt";
  std::remove(path.c_str());
  bool ok = RunGenerator(path, first, last);
  std::remove(path.c_str());
  if (ok && withFprintf) ok = RunFprintf(path, first, last);
  std::remove(path.c_str());
  if (!ok) std::fprintf(stderr, "writing %s failed\n", path.c_str());
  return ok ? 0 : 1;
}
