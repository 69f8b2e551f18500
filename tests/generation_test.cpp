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

TEST_F(GenerationTest, SmallRangesAreExact) {
  RunResult only85 = RunToFile(85, 85);
  EXPECT_EQ(only85.bytes, "85;86;87;88;89;90\r\n");
  EXPECT_EQ(only85.count, 1);

  RunResult only84 = RunToFile(84, 84);
  EXPECT_EQ(only84.bytes,
            "84;85;86;87;88;89\r\n84;85;86;87;88;90\r\n84;85;86;87;89;90\r\n"
            "84;85;86;88;89;90\r\n84;85;87;88;89;90\r\n84;86;87;88;89;90\r\n");
  EXPECT_EQ(only84.bytes.size(), 114u);
  EXPECT_EQ(only84.count, 6);

  RunResult both = RunToFile(84, 85);
  EXPECT_EQ(both.bytes, only84.bytes + only85.bytes);
  EXPECT_EQ(both.count, 7);
  EXPECT_TRUE(only85.closedCleanly && only84.closedCleanly &&
              both.closedCleanly);
}

// Ranges that cross many output blocks, compared whole with the reference.
TEST_F(GenerationTest, MidSizedRangesMatchReference) {
  const int ranges[][2] = {{60, 85}, {80, 80}, {40, 41}};
  for (const auto& range : ranges) {
    SCOPED_TRACE(std::to_string(range[0]) + ".." + std::to_string(range[1]));
    RunResult run = RunToFile(range[0], range[1]);
    const std::string expected = ReferenceText(range[0], range[1]);
    ASSERT_EQ(run.bytes.size(), expected.size());
    EXPECT_TRUE(run.bytes == expected);
    EXPECT_EQ(run.count, static_cast<std::int32_t>(std::count(
                             expected.begin(), expected.end(), '\n')));
    EXPECT_EQ(LinesInRange(range[0], range[1]), run.count);
    EXPECT_TRUE(run.closedCleanly);
  }
  // The totals that the progress shows its share of, every run included.
  EXPECT_EQ(LinesInRange(85, 85), 1);
  EXPECT_EQ(LinesInRange(84, 85), 7);
  EXPECT_EQ(LinesInRange(1, 1), 41507642);
  EXPECT_EQ(LinesInRange(1, 85), 622614630);
}

// First number 1 alone: binomial(89, 5) lines, checked by count, size, the
// first million and the last line, without holding 700 MB in memory.
TEST_F(GenerationTest, FirstNumberOneCountAndEnd) {
  long long expectedBytes = 0;
  for (ReferenceSequence s = ReferenceStart(1, 1); ReferenceValid(s);
       ReferenceAdvance(s))
    expectedBytes += ReferenceLineLength(s);
  RunResult run = RunToFile(1, 1, kPath, false);
  EXPECT_EQ(run.count, 41507642);
  EXPECT_EQ(g_storedOutput.bytes, expectedBytes);
  EXPECT_EQ(g_storedOutput.lines, 41507642);
  EXPECT_TRUE(FileHoldsReferenceLines(kPath, 1, 1, 41507642));
  std::FILE* f = std::fopen(kPath, "rb");
  ASSERT_NE(f, nullptr);
  char tail[20] = {};
  EXPECT_TRUE(FileSeek(f, -19, SEEK_END));
  EXPECT_EQ(std::fread(tail, 1, 19, f), 19u);
  std::fclose(f);
  EXPECT_STREQ(tail, "\n1;86;87;88;89;90\r\n");
}

// Without replace the stream is only ever a new file: whatever is already at
// the path stays as it was, and the caller learns that the name is taken;
// a name that can't be created for another reason is not.
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

TEST_F(GenerationTest, StopAlreadyRequestedLetsOneLineOut) {
  g_stopRequest = 1;
  RunResult all = RunToFile(1, 85);
  EXPECT_EQ(all.bytes, "1;2;3;4;5;6\r\n");
  EXPECT_EQ(all.count, 1);

  RunResult last = RunToFile(85, 85);
  EXPECT_EQ(last.bytes, "85;86;87;88;89;90\r\n");
  EXPECT_EQ(last.count, 1);
}

// A stop from another thread mid-run: the file is exactly the start of the
// uninterrupted output, as many whole lines as the counter says.
TEST_F(GenerationTest, StopFromAnotherThreadLeavesWholeLines) {
  for (std::int32_t after : {1, 5000, 200000}) {
    SCOPED_TRACE(after);
    g_stopRequest = 0;
    g_combinationCount = 0;
    std::thread stopper([after] {
      while (g_combinationCount.load() < after) std::this_thread::yield();
      g_stopRequest = 1;
    });
    RunResult run = RunToFile(1, 85);
    stopper.join();
    EXPECT_GE(run.count, after);
    EXPECT_LT(run.count, 600000000);
    EXPECT_TRUE(run.bytes == ReferenceText(1, 85, run.count));
    EXPECT_EQ(g_storedOutput.lines, run.count);
    EXPECT_TRUE(run.closedCleanly);
  }
}

#ifndef _WIN32
// A write refused part-way (here a file size limit, as a full disk would):
// the run ends at once, reports the failure, and the file keeps only the
// whole lines that made it, matching the start of the real output.
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
}

TEST_F(GenerationTest, DeviceThatRefusesEveryWrite) {
  RunResult run = RunToFile(1, 85, "/dev/full", false);
  EXPECT_FALSE(run.closedCleanly);
  EXPECT_EQ(g_storedOutput.lines, 0);
  EXPECT_EQ(g_storedOutput.bytes, 0);
}
#endif

}  // namespace
