// The built calculator run as its own process: its exit status, its
// arguments, and its streams as a shell connects them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const std::string kCalculator = CALCULATOR_PATH;
const std::string kAsk = "Enter expression\n";
const std::string kGoOn =
    "Do you wish to evaluate another expression? \n\n"
    "Type Y / y for Yes or N / n for No. \n\n";

struct Outcome {
  int status;  // of the shell line: the calculator's, or 128 + signal
  std::string output;
};

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Runs a bash line in which $CALC names the calculator and $TMP a scratch
// file prefix; what the line sends to $TMP.out is the run's output. The
// calculator runs under `timeout` and may write no file over a mebibyte, so
// a dialogue that never ends fails in seconds.
Outcome run_shell(const std::string& line) {
  const std::string tmp = testing::TempDir() + "calculator_" +
                          testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string command = "ulimit -f 1024; CALC='timeout 10 " + kCalculator + "' TMP='" + tmp +
                              "' bash -c '" + line + "'";
  const int status = std::system(command.c_str());
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(tmp + ".out")};
  std::remove((tmp + ".out").c_str());
  return outcome;
}

TEST(ProgramTest, PipedDialogueIgnoresArguments) {
  const Outcome run = run_shell(
      "printf \"12.5 * 4\\ny\\n7/2\\nn\\n\" | $CALC --help -x 42 >$TMP.out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, kAsk + "12.5 * 4 = 50\n" + kGoOn + kAsk + "7 / 2 = 3.5\n" +
                            kGoOn + "Program has terminated.");
}

TEST(ProgramTest, EndOfInputEndsWithStatusZero) {
  const Outcome run = run_shell("printf \"2+3\" | $CALC >$TMP.out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, kAsk + "2 + 3 = 5\n" + kGoOn);
}

TEST(ProgramTest, SilentEndHasStatusZero) {
  const Outcome run = run_shell("printf \"1+1 q\" | $CALC >$TMP.out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, kAsk + "1 + 1 = 2\n" + kGoOn);
}

}  // namespace
