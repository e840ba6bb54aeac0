// The built calculator run as its own process, with its streams as a POSIX
// shell connects them: closed, full, unreadable, or read by a process that
// goes away; and its memory on long input.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "prompts.h"

namespace {

using namespace std::string_literals;

// The calculator, behind the emulator that runs it where it cannot run itself.
const std::string kCalculator = CALCULATOR_COMMAND;

struct Outcome {
  int status;  // of the shell line: the calculator's, or 128 + signal
  std::string output;
};

std::string scratch_path() {
  return testing::TempDir() + "calculator_" +
         testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Runs a bash line in which $CALC names the calculator and $TMP a scratch
// file prefix: $TMP.in holds `input`, and what the line sends to $TMP.out is
// the run's output. The calculator runs under `timeout` and may write no file
// over two mebibytes, so a dialogue that never ends fails in seconds.
Outcome run_shell(const std::string& line, const std::string& input = "") {
  const std::string tmp = scratch_path();
  std::ofstream(tmp + ".in", std::ios::binary) << input;
  const std::string command = "ulimit -f 4096; CALC='timeout 10 " + kCalculator + "' TMP='" + tmp +
                              "' bash -c '" + line + "'";
  const int status = std::system(command.c_str());
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(tmp + ".out")};
  std::remove((tmp + ".in").c_str());
  std::remove((tmp + ".out").c_str());
  return outcome;
}

TEST(ProgramTest, ClosedOrFullStandardOutputEndsWithStatusZero) {
  EXPECT_EQ(run_shell("printf \"1+1\\ny 2*2\\nn\\n\" | $CALC >&-").status, 0);
  EXPECT_EQ(run_shell("printf \"1+1\\ny 2*2\\nn\\n\" | $CALC >/dev/full").status, 0);
  // Reading on would keep an endless input going with nobody to read it.
  EXPECT_EQ(run_shell("yes y 1+1 | $CALC >/dev/full").status, 0);
}

TEST(ProgramTest, ClosedOrUnreadableStandardInputEndsAfterTheFirstPrompt) {
  for (const char* line : {"$CALC <&- >$TMP.out", "$CALC </ >$TMP.out"}) {
    const Outcome run = run_shell(line);
    EXPECT_EQ(run.status, 0) << line;
    EXPECT_EQ(run.output, kAsk) << line;
  }
}

// Console tools end by SIGPIPE when their reader goes away.
TEST(ProgramTest, ReaderThatGoesAwayEndsTheProgram) {
  std::signal(SIGPIPE, SIG_DFL);  // whatever the test runner was started with
  const Outcome run =
      run_shell("yes \"y 1+1\" | $CALC | head -n 5 >$TMP.out; exit ${PIPESTATUS[1]}");
  EXPECT_EQ(run.status, 128 + SIGPIPE);
  EXPECT_EQ(run.output, kAsk + kGoOn);  // the first y is no number
}

TEST(ProgramTest, ReaderThatGoesAwayWithSigpipeIgnoredEndsTheProgram) {
  const Outcome run = run_shell(
      "trap \"\" PIPE; yes \"y 1+1\" | $CALC | head -n 5 >$TMP.out; exit ${PIPESTATUS[1]}");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, kAsk + kGoOn);
}

// Items that each end where their line or the next item starts, so every
// pass keeps in step with its line: numbers, unreadable text, NUL and bytes
// above 127 as operands and as operators.
TEST(ProgramTest, HostileBytesInEveryItemKeepTheDialogueGoing) {
  const std::vector<std::string> operands = {"1",   "-2.5", ".5",       "1e3",  "1e400",
                                             "abc", "-",    "\x80\x81", "\xff", "\0"s};
  const std::vector<std::string> operators = {"+", "-", "*", "/", "^", "x", "\xff", "\0"s};
  std::mt19937 random(2026);
  const auto pick = [&random](const std::vector<std::string>& items) {
    return items[random() % items.size()];
  };
  constexpr int kPasses = 3000;
  std::string input;
  for (int pass = 1; pass <= kPasses; ++pass) {
    input += pick(operands) + ' ' + pick(operators) + ' ' + pick(operands) +
             (pass < kPasses ? "\ny\n" : "\nn\n");
  }
  const Outcome run = run_shell("$CALC <$TMP.in >$TMP.out", input);
  EXPECT_EQ(run.status, 0);
  int asked = 0;
  for (std::size_t at = run.output.find(kAsk); at != std::string::npos;
       at = run.output.find(kAsk, at + 1)) {
    ++asked;
  }
  EXPECT_EQ(asked, kPasses);
  EXPECT_EQ(run.output.substr(run.output.size() - kGoOn.size() - kEnd.size()), kGoOn + kEnd);
}

// Peak resident memory in KiB of the calculator reading `input`, which is
// checked to be answered with `output`.
long peak_memory_reading(const std::string& input, const std::string& output) {
  const Outcome run = run_shell("/usr/bin/time -f %M -o $TMP.rss $CALC <$TMP.in >$TMP.out", input);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, output);
  const std::string peak = read_file(scratch_path() + ".rss");
  std::remove((scratch_path() + ".rss").c_str());
  return std::stol(peak);
}

constexpr std::size_t kLongLine = 50 << 20;
constexpr long kMemorySlackKiB = 2048;

// A 50 MB line dropped as unreadable, or 50 MB of blanks skipped before an
// expression, costs no more memory than a kilobyte of the same.
TEST(ProgramTest, LongInputIsReadInConstantMemory) {
  const struct {
    char filler;
    std::string rest;
    std::string output;
  } rows[] = {
      // No standard library takes z as part of a number, so the read stops
      // at once and the line is dropped.
      {'z', "\ny 1+1\nn\n", kAsk + kGoOn + kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
      {' ', "1+1\nn\n", kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
  };
  for (const auto& row : rows) {
    const long short_run =
        peak_memory_reading(std::string(1024, row.filler) + row.rest, row.output);
    const long long_run =
        peak_memory_reading(std::string(kLongLine, row.filler) + row.rest, row.output);
    EXPECT_LT(long_run - short_run, kMemorySlackKiB) << "filler '" << row.filler << "'";
  }
}

}  // namespace
