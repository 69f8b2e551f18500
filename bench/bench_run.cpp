// Drives the real Sestor.exe from another process, as a user would, and
// times what the user waits for: a whole run from "Esegui" until the button
// reads "Esegui" again, the progress text's refresh intervals, how long a
// STOP takes, and the program's peak working set.
// bench/run-dialog-bench.sh runs it under Wine and times dd beside it.
//
//   bench_run FOLDER FIRST THROUGH_LAST EXPECTED_BYTES LAST_LINE [STOP_TRIES]
//
// FIRST is the list index (0 = "Tutte"); THROUGH_LAST is 0 or 1.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "resource.h"
#include "tests/dialog_driver.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

struct Program {
  PROCESS_INFORMATION process;
  HWND dialog;
};

bool Start(Program& program) {
  if (!StartBeside("Sestor.exe", &program.process)) {
    std::fprintf(stderr, "can't start Sestor.exe\n");
    return false;
  }
  program.dialog = WaitForMainDialog(program.process.dwProcessId);
  return program.dialog != nullptr;
}

void Exit(Program& program) {
  Click(program.dialog, IDC_EXIT);
  WaitForSingleObject(program.process.hProcess, 15000);
  CloseHandle(program.process.hThread);
  CloseHandle(program.process.hProcess);
}

double PeakWorkingSetMiB(const Program& program) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  K32GetProcessMemoryInfo(program.process.hProcess, &counters, sizeof counters);
  return counters.PeakWorkingSetSize / 1048576.0;
}

// Sets the options and presses "Esegui"; returns the moment of the press.
double StartRun(HWND dialog, const std::string& path, int index, bool through) {
  DeleteFileA(path.c_str());
  Aim(dialog, path, index, through);
  const double pressed = Now();
  Click(dialog, IDC_RUN);
  WaitUntil([&] { return ControlText(dialog, IDC_RUN) == "STOP"; }, 5000);
  return pressed;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A whole run, sampling the progress text every 10 ms until the run is over:
// often enough to time 500 ms ticks, rarely enough that the sampling itself
// (each read is a message to the dialog's thread) does not slow the run.
void TimedRun(HWND dialog, const std::string& path, int index, bool through) {
  const double start = StartRun(dialog, path, index, through);
  std::vector<double> changes;
  std::string shown = ControlText(dialog, IDC_PROGRESS);
  long long previous = -1;
  bool grows = true;
  while (!RunFinished(dialog)) {
    Sleep(10);
    const std::string text = ControlText(dialog, IDC_PROGRESS);
    if (text == shown) continue;
    changes.push_back(Now());
    shown = text;
    const long long count = ProgressCount(dialog);
    grows = grows && count >= previous;
    previous = count;
  }
  const double seconds = Now() - start;
  // The last change is the final count, set when the run ends, not a tick.
  std::vector<double> intervals;
  for (std::size_t i = 1; i + 1 < changes.size(); ++i)
    intervals.push_back((changes[i] - changes[i - 1]) * 1000);
  std::printf("run seconds=%.3f lines=%lld\n", seconds, ProgressCount(dialog));
  std::printf(
      "progress ticks=%u median_ms=%.0f max_ms=%.0f min_ms=%.0f grows=%s\n",
      static_cast<unsigned>(intervals.size()), Median(intervals),
      intervals.empty() ? 0
                        : *std::max_element(intervals.begin(), intervals.end()),
      intervals.empty() ? 0
                        : *std::min_element(intervals.begin(), intervals.end()),
      grows ? "yes" : "NO");
}

// The file's size and last line, read from the end.
void CheckFile(const std::string& path, long long expectedBytes,
               const std::string& lastLine) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  const long long size =
      (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  char tail[32] = {};
  const DWORD tailSize = static_cast<DWORD>(lastLine.size() + 3);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER back;
  back.QuadPart = -static_cast<LONGLONG>(tailSize);
  DWORD read = 0;
  SetFilePointerEx(file, back, nullptr, FILE_END);
  ReadFile(file, tail, tailSize, &read, nullptr);
  CloseHandle(file);
  std::printf("file bytes=%lld expected=%lld size_ok=%s last_line_ok=%s\n",
              size, expectedBytes, size == expectedBytes ? "yes" : "NO",
              std::string(tail) == "\n" + lastLine + "\r\n" ? "yes" : "NO");
}

// STOP during a full-speed run: from the press until "Esegui" is back.
void StopLatency(HWND dialog, const std::string& path, int tries) {
  std::vector<double> latencies;
  for (int i = 0; i < tries; ++i) {
    StartRun(dialog, path, 0, false);
    Sleep(1000);
    const double pressed = Now();
    Click(dialog, IDC_RUN);
    while (!RunFinished(dialog)) Sleep(1);
    latencies.push_back((Now() - pressed) * 1000);
    DeleteFileA(path.c_str());
  }
  std::printf("stop tries=%d median_ms=%.1f max_ms=%.1f\n", tries,
              Median(latencies),
              *std::max_element(latencies.begin(), latencies.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(
        stderr,
        "usage: %s FOLDER FIRST THROUGH_LAST EXPECTED_BYTES [STOP_TRIES]\n",
        argv[0]);
    return 2;
  }
  const std::string path = std::string(argv[1]) + "\\sestor-run.txt";
  const int index = std::atoi(argv[2]);
  const bool through = std::atoi(argv[3]) != 0;
  const long long expectedBytes = std::atoll(argv[4]);
  const std::string lastLine = argv[5];
  const int stopTries = argc > 6 ? std::atoi(argv[6]) : 5;

  Program small{};
  if (!Start(small)) return 1;
  StartRun(small.dialog, path, 85, false);
  WaitUntil([&] { return RunFinished(small.dialog); });
  const double smallPeak = PeakWorkingSetMiB(small);
  Exit(small);

  Program program{};
  if (!Start(program)) return 1;
  TimedRun(program.dialog, path, index, through);
  CheckFile(path, expectedBytes, lastLine);
  DeleteFileA(path.c_str());
  std::printf("memory peak_mib_first85=%.1f peak_mib_run=%.1f\n", smallPeak,
              PeakWorkingSetMiB(program));
  if (stopTries > 0) StopLatency(program.dialog, path, stopTries);
  Exit(program);
  return 0;
}
