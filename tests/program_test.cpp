// The built calculator run as its own process, with its streams as a POSIX
// shell connects them: closed, full, unreadable, or read by a process that
// goes away; and its memory on long input.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "prompts.h"

extern char** environ;  // NOLINT: which not every system's headers declare

namespace {

using namespace std::string_literals;

// The calculator, behind the emulator that runs it where it cannot run itself.
constexpr const char* kCalculator = CALCULATOR_COMMAND;

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
  std::int64_t peak_kib;  // peak resident memory of the line's processes
};

// A folder of this process's own for the runs' files, made safely, so that
// any number of suites can run at once. Each run removes its files, and the
// folder goes at exit: registered once the folder is made, the removal runs
// before the folder's name is destroyed.
const std::string& scratch_folder() {
  static std::string folder = testing::TempDir() + "calculator-XXXXXX";
  static const bool made =
      mkdtemp(folder.data()) != nullptr && std::atexit([] { std::remove(folder.c_str()); }) == 0;
  EXPECT_TRUE(made) << "cannot make " << folder;
  return folder;
}

std::string input_path() { return scratch_folder() + "/in"; }

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Runs a bash line in which $CALC names the calculator and $TMP the scratch
// folder: $TMP/in is the input written before, and what the line sends to
// $TMP/out is the run's output. The calculator runs under `timeout`, writing no
// file over 2 MiB (an endless dialogue fails in seconds), with nothing the build
// preloads (which could take a closed input's descriptor). The peak memory is
// the kernel's, of the line's largest process: this one's until it execs.
Outcome run_shell(const std::string& line) {
  std::string command = "unset LD_PRELOAD; ulimit -f 4096; CALC='timeout 10 "s + kCalculator +
                        "' TMP='" + scratch_folder() + "' exec bash -c '" + line + "'";
  // Spawned, not forked: a child forked under qemu-i386 can hang before it execs.
  std::string shell = "sh";
  std::string option = "-c";
  const std::array<char*, 4> arguments = {shell.data(), option.data(), command.data(), nullptr};
  pid_t child = 0;
  int status = 0;
  rusage usage{};
  if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, arguments.data(), environ) != 0 ||
      wait4(child, &status, 0, &usage) != child) {
    ADD_FAILURE() << "cannot run " << command;
  }
#ifdef __APPLE__
  usage.ru_maxrss /= 1024;  // counted in bytes there
#endif
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                  read_file(scratch_folder() + "/out"), usage.ru_maxrss};
  std::remove(input_path().c_str());
  std::remove((scratch_folder() + "/out").c_str());
  return outcome;
}

TEST_F(ProgramTest, ClosedOrFullStandardOutputEndsWithStatusZero) {
  EXPECT_EQ(run_shell("printf \"1+1\\ny 2*2\\nn\\n\" | $CALC >&-").status, 0);
  EXPECT_EQ(run_shell("printf \"1+1\\ny 2*2\\nn\\n\" | $CALC >/dev/full").status, 0);
  // Reading on would keep an endless input going with nobody to read it.
  EXPECT_EQ(run_shell("yes y 1+1 | $CALC >/dev/full").status, 0);
}

TEST_F(ProgramTest, ClosedOrUnreadableStandardInputEndsAfterTheFirstPrompt) {
  for (const char* line : {"$CALC <&- >$TMP/out", "$CALC </ >$TMP/out"}) {
    const Outcome run = run_shell(line);
    EXPECT_EQ(run.status, 0) << line;
    EXPECT_EQ(run.output, kAsk) << line;
  }
}

// Console tools end by SIGPIPE when their reader goes away.
TEST_F(ProgramTest, ReaderThatGoesAwayEndsTheProgram) {
  ASSERT_NE(std::signal(SIGPIPE, SIG_DFL), SIG_ERR);  // whatever the runner was started with
  const Outcome run =
      run_shell("yes \"y 1+1\" | $CALC | head -n 5 >$TMP/out; exit ${PIPESTATUS[1]}");
  EXPECT_EQ(run.status, 128 + SIGPIPE);
  EXPECT_EQ(run.output, kAsk + kGoOn);  // the first y is no number
}

TEST_F(ProgramTest, ReaderThatGoesAwayWithSigpipeIgnoredEndsTheProgram) {
  const Outcome run = run_shell(
      R"(trap "" PIPE; yes "y 1+1" | $CALC | head -n 5 >$TMP/out; exit ${PIPESTATUS[1]})");
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
  const Outcome run = run_shell("$CALC <$TMP/in >$TMP/out");
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
constexpr std::int64_t kMemorySlackKiB = 2048;

struct LongInput {
  char filler;
  std::string rest;
  std::string output;
};

// Peak resident memory in KiB of the calculator reading `count` copies of
// the filler and then the rest, which is checked to be answered with the
// output. The input is written through a buffer, to keep this process small.
std::int64_t peak_memory_reading(const LongInput& row, std::size_t count) {
  {
    std::ofstream input(input_path(), std::ios::binary);
    std::fill_n(std::ostreambuf_iterator<char>(input), count, row.filler);
    input << row.rest;
  }
  const Outcome run = run_shell("$CALC <$TMP/in >$TMP/out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, row.output);
  return run.peak_kib;
}

// A 50 MB line dropped as unreadable, or 50 MB of blanks skipped before an
// expression, costs no more memory than a kilobyte of the same.
TEST_F(ProgramTest, LongInputIsReadInConstantMemory) {
  const LongInput rows[] = {
      // No standard library takes z as part of a number, so the read stops
      // at once and the line is dropped.
      {'z', "\ny 1+1\nn\n", kAsk + kGoOn + kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
      {' ', "1+1\nn\n", kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
  };
  for (const auto& row : rows) {
    const std::int64_t short_run = peak_memory_reading(row, 1024);
    const std::int64_t long_run = peak_memory_reading(row, kLongLine);
    EXPECT_LT(long_run - short_run, kMemorySlackKiB) << "filler '" << row.filler << "'";
  }
}

}  // namespace
