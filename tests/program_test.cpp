// The built calculator run as its own process, with its streams as a POSIX
// shell connects them: closed, full, unreadable, or read by a process that
// goes away; and its memory on long input.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "prompts.h"

extern char** environ;  // which not every system's headers declare

namespace {

using namespace std::string_literals;

// The calculator, behind the emulator that runs it where it cannot run itself.
const std::string kCalculator = CALCULATOR_COMMAND;

// Skips every test on a system without the tools that run the calculator here.
class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v bash >/dev/null && command -v timeout >/dev/null") != 0) {
      GTEST_SKIP() << "needs bash and timeout (GNU coreutils) on the PATH";
    }
  }
};

struct Outcome {
  int status;  // of the shell line: the calculator's, or 128 + signal
  std::string output;
  long peak_kib;  // peak resident memory of the line's processes
};

std::string scratch_path() {
  return testing::TempDir() + "calculator_" +
         testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string input_path() { return scratch_path() + ".in"; }

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Runs a bash line in which $CALC names the calculator and $TMP a scratch
// file prefix: $TMP.in is the input written before, and what the line sends
// to $TMP.out is the run's output. The calculator runs under `timeout` and may
// write no file over two mebibytes, so a dialogue that never ends fails in
// seconds. The peak memory comes from the kernel, which counts the largest of
// the line's processes; a process started from this one counts this one's
// size until it execs, so this one must stay small.
Outcome run_shell(const std::string& line) {
  const std::string tmp = scratch_path();
  std::string command = "ulimit -f 4096; CALC='timeout 10 " + kCalculator + "' TMP='" + tmp +
                        "' exec bash -c '" + line + "'";
  // Spawned, not forked: a child forked under qemu-i386 can hang before it execs.
  std::string shell = "sh", option = "-c";
  char* const arguments[] = {shell.data(), option.data(), command.data(), nullptr};
  pid_t child = 0;
  int status = 0;
  rusage usage{};
  if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, arguments, environ) != 0 ||
      wait4(child, &status, 0, &usage) != child) {
    ADD_FAILURE() << "cannot run " << command;
  }
#ifdef __APPLE__
  usage.ru_maxrss /= 1024;  // counted in bytes there
#endif
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(tmp + ".out"),
                  usage.ru_maxrss};
  std::remove(input_path().c_str());
  std::remove((tmp + ".out").c_str());
  return outcome;
}

TEST_F(ProgramTest, ClosedOrFullStandardOutputEndsWithStatusZero) {
  EXPECT_EQ(run_shell("printf \"1+1\\ny 2*2\\nn\\n\" | $CALC >&-").status, 0);
  EXPECT_EQ(run_shell("printf \"1+1\\ny 2*2\\nn\\n\" | $CALC >/dev/full").status, 0);
  // Reading on would keep an endless input going with nobody to read it.
  EXPECT_EQ(run_shell("yes y 1+1 | $CALC >/dev/full").status, 0);
}

TEST_F(ProgramTest, ClosedOrUnreadableStandardInputEndsAfterTheFirstPrompt) {
  for (const char* line : {"$CALC <&- >$TMP.out", "$CALC </ >$TMP.out"}) {
    const Outcome run = run_shell(line);
    EXPECT_EQ(run.status, 0) << line;
    EXPECT_EQ(run.output, kAsk) << line;
  }
}

// Console tools end by SIGPIPE when their reader goes away.
TEST_F(ProgramTest, ReaderThatGoesAwayEndsTheProgram) {
  std::signal(SIGPIPE, SIG_DFL);  // whatever the test runner was started with
  const Outcome run =
      run_shell("yes \"y 1+1\" | $CALC | head -n 5 >$TMP.out; exit ${PIPESTATUS[1]}");
  EXPECT_EQ(run.status, 128 + SIGPIPE);
  EXPECT_EQ(run.output, kAsk + kGoOn);  // the first y is no number
}

TEST_F(ProgramTest, ReaderThatGoesAwayWithSigpipeIgnoredEndsTheProgram) {
  const Outcome run = run_shell(
      "trap \"\" PIPE; yes \"y 1+1\" | $CALC | head -n 5 >$TMP.out; exit ${PIPESTATUS[1]}");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, kAsk + kGoOn);
}

// Items that each end where their line or the next item starts, so every
// pass keeps in step with its line: numbers, unreadable text, NUL and bytes
// above 127 as operands and as operators.
TEST_F(ProgramTest, HostileBytesInEveryItemKeepTheDialogueGoing) {
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
  std::ofstream(input_path(), std::ios::binary) << input;
  const Outcome run = run_shell("$CALC <$TMP.in >$TMP.out");
  EXPECT_EQ(run.status, 0);
  int asked = 0;
  for (std::size_t at = run.output.find(kAsk); at != std::string::npos;
       at = run.output.find(kAsk, at + 1)) {
    ++asked;
  }
  EXPECT_EQ(asked, kPasses);
  EXPECT_EQ(run.output.substr(run.output.size() - kGoOn.size() - kEnd.size()), kGoOn + kEnd);
}

constexpr std::size_t kLongLine = 50 << 20;
constexpr long kMemorySlackKiB = 2048;

// Peak resident memory in KiB of the calculator reading `count` copies of
// `filler` and then `rest`, which is checked to be answered with `output`.
// The input is written a piece at a time to keep this process small.
long peak_memory_reading(char filler, std::size_t count, const std::string& rest,
                         const std::string& output) {
  {
    std::ofstream input(input_path(), std::ios::binary);
    const std::string piece(1 << 16, filler);
    for (std::size_t left = count; left > 0;) {
      const std::size_t size = std::min(left, piece.size());
      input.write(piece.data(), static_cast<std::streamsize>(size));
      left -= size;
    }
    input << rest;
  }
  const Outcome run = run_shell("$CALC <$TMP.in >$TMP.out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, output);
  return run.peak_kib;
}

// A 50 MB line dropped as unreadable, or 50 MB of blanks skipped before an
// expression, costs no more memory than a kilobyte of the same.
TEST_F(ProgramTest, LongInputIsReadInConstantMemory) {
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
    const long short_run = peak_memory_reading(row.filler, 1024, row.rest, row.output);
    const long long_run = peak_memory_reading(row.filler, kLongLine, row.rest, row.output);
    EXPECT_LT(long_run - short_run, kMemorySlackKiB) << "filler '" << row.filler << "'";
  }
}

}  // namespace
