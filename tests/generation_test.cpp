// The enumerator's output, byte for byte, against the independent reference;
// its counting; and how a stop or a refused write leaves the file.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "generation/combinations.h"
#include "generation/output_file.h"
#include "tests/reference.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <cerrno>
#include <csignal>
#endif

namespace {

const char kPath[] = "sestor-generation-test.txt";

struct RunResult {
  std::int32_t count;
  bool closedCleanly;
  std::string bytes;
};

// Runs [first, last] into a fresh file as the program does and reads it back.
RunResult RunToFile(int first, int last, const char* path = kPath,
                    bool readBack = true) {
  int combination[6] = {};
  bool taken = true;
  g_outputStream = OpenOutputStream(path, true, &taken);
  EXPECT_FALSE(taken);
  EXPECT_NE(g_outputStream, nullptr);
  if (g_outputStream == nullptr) return {0, false, {}};
  g_combinationCount = 0;
  EnumerateRange(first, last, combination);
  RunResult result{g_combinationCount, CloseOutputStream(g_outputStream), {}};
  if (readBack) result.bytes = ReadFileBytes(path);
  return result;
}

class GenerationTest : public ::testing::Test {
 protected:
  void SetUp() override { g_stopRequest = 0; }
  void TearDown() override {
    g_stopRequest = 0;
    std::remove(kPath);
  }
};

// Ranges from one line to many blocks, against the reference, and the
// totals of lines and bytes a run is known by before it starts.
TEST_F(GenerationTest, RangesMatchReference) {
  EXPECT_EQ(ReferenceText(84, 85),
            "84;85;86;87;88;89\r\n84;85;86;87;88;90\r\n84;85;86;87;89;90\r\n"
            "84;85;86;88;89;90\r\n84;85;87;88;89;90\r\n84;86;87;88;89;90\r\n"
            "85;86;87;88;89;90\r\n");
  const int ranges[][2] = {{85, 85}, {84, 84}, {84, 85},
                           {60, 85}, {80, 80}, {40, 41}};
  for (const auto& range : ranges) {
    SCOPED_TRACE(std::to_string(range[0]) + ".." + std::to_string(range[1]));
    RunResult run = RunToFile(range[0], range[1]);
    const std::string expected = ReferenceText(range[0], range[1]);
    ASSERT_EQ(run.bytes.size(), expected.size());
    EXPECT_TRUE(run.bytes == expected);
    EXPECT_EQ(run.count, static_cast<std::int32_t>(std::count(
                             expected.begin(), expected.end(), '\n')));
    EXPECT_EQ(LinesInRange(range[0], range[1]), run.count);
    EXPECT_EQ(BytesInRange(range[0], range[1]),
              static_cast<std::int64_t>(expected.size()));
    EXPECT_TRUE(run.closedCleanly);
  }
  EXPECT_EQ(LinesInRange(1, 1), 41507642);
  EXPECT_EQ(LinesInRange(1, 85), 622614630);
  EXPECT_EQ(BytesInRange(1, 1), 728482436);
  EXPECT_EQ(BytesInRange(1, 85), 11456109192);
  // First number 1 alone, checked without holding 700 MB in memory.
  const RunResult one = RunToFile(1, 1, kPath, false);
  EXPECT_TRUE(one.count == 41507642 && g_storedOutput.lines == one.count);
  EXPECT_EQ(g_storedOutput.bytes, 728482436);
  EXPECT_TRUE(FileHoldsReferenceLines(kPath, 1, 1, one.count));
}

// Without replace only a new file is made: what is there stays, and the
// caller learns the name is taken (not so for another failure).
TEST_F(GenerationTest, NewFileStreamNeverReplaces) {
  std::remove(kPath);
  bool taken = true;
  std::FILE* created = OpenOutputStream(kPath, false, &taken);
  ASSERT_NE(created, nullptr);
  EXPECT_FALSE(taken);
  std::fputs("kept\r\n", created);
  std::fclose(created);
  EXPECT_EQ(OpenOutputStream(kPath, false, &taken), nullptr);
  EXPECT_TRUE(taken);
  EXPECT_EQ(ReadFileBytes(kPath), "kept\r\n");
  EXPECT_EQ(OpenOutputStream("no-such-folder/x.txt", false, &taken), nullptr);
  EXPECT_FALSE(taken);

  EXPECT_EQ(RunToFile(85, 85).bytes, "85;86;87;88;89;90\r\n");
}

// A stop from another thread leaves the start of the output, as many lines
// as counted; one requested before the start lets the first line out.
TEST_F(GenerationTest, StopFromAnotherThreadLeavesWholeLines) {
  for (std::int32_t after : {0, 1, 5000, 200000}) {
    SCOPED_TRACE(after);
    g_stopRequest = after == 0;
    g_combinationCount = 0;
    std::thread stopper([after] {
      while (g_combinationCount.load() < after) std::this_thread::yield();
      g_stopRequest = 1;
    });
    RunResult run = RunToFile(1, 85);
    stopper.join();
    EXPECT_GE(run.count, after);
    EXPECT_TRUE(after > 0 || run.count == 1);
    EXPECT_LT(run.count, 600000000);
    EXPECT_TRUE(run.bytes == ReferenceText(1, 85, run.count));
    EXPECT_EQ(g_storedOutput.lines, run.count);
    EXPECT_TRUE(run.closedCleanly);
  }
}

#ifndef _WIN32
// A write refused part-way (a size limit, as a full disk): the run ends,
// failed, the file cut back to the whole lines before.
TEST_F(GenerationTest, RefusedWriteEndsRunWithWholeLines) {
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = 3 * 1024 * 1024 + 500;
  setrlimit(RLIMIT_FSIZE, &limited);
  RunResult run = RunToFile(1, 85, kPath, false);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_DFL);

  EXPECT_FALSE(run.closedCleanly);
  EXPECT_TRUE(g_storedOutput.failed);
  EXPECT_LT(run.count, 1000000);
  const std::string bytes = ReadFileBytes(kPath);
  EXPECT_GT(bytes.size(), 2u * 1024 * 1024);
  EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), g_storedOutput.bytes);
  EXPECT_TRUE(bytes == ReferenceText(1, 85, g_storedOutput.lines));
  EXPECT_EQ(g_storedOutput.error, std::uint32_t{EFBIG});
  // A device that refuses every write: nothing stored, and why.
  EXPECT_FALSE(RunToFile(1, 85, "/dev/full", false).closedCleanly);
  EXPECT_EQ(g_storedOutput.lines + g_storedOutput.bytes, 0);
  EXPECT_EQ(g_storedOutput.error, std::uint32_t{ENOSPC});
}
#endif

}  // namespace
