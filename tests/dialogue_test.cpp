// The whole dialogue: prompts, answers and how it ends.

#include "dialogue.h"

#include <gtest/gtest.h>

#include <string>

#include "console.h"
#include "prompts.h"

namespace {

struct Row {
  std::string input;
  std::string output;
};

void expect_rows(const std::initializer_list<Row>& rows) {
  for (const Row& row : rows) {
    EXPECT_EQ(converse(run_dialogue, row.input).output, row.output) << "input: " << row.input;
  }
}

TEST(DialogueTest, PromptsAndAnswers) {
  expect_rows({
      {"1+1\nn\n", kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
      {"1+1\nN\n", kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
      {"12.5 * 4\ny\n7/2\nn\n",
       kAsk + "12.5 * 4 = 50\n" + kGoOn + kAsk + "7 / 2 = 3.5\n" + kGoOn + kEnd},
      {"1+1\nY\n2*3\nN", kAsk + "1 + 1 = 2\n" + kGoOn + kAsk + "2 * 3 = 6\n" + kGoOn + kEnd},
      {"1+1\n\n\n \t n", kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
      {"1+1\nq\n2+2\nn\n", kAsk + "1 + 1 = 2\n" + kGoOn},
      {"1+1\n\xff\n", kAsk + "1 + 1 = 2\n" + kGoOn},
      {std::string("1+1\n\0y\n", 6), kAsk + "1 + 1 = 2\n" + kGoOn},
      {"1+1\nnonsense y 2+2\n", kAsk + "1 + 1 = 2\n" + kGoOn + kEnd},
  });
}

// The answer is one character; the rest of its line is the next expression.
TEST(DialogueTest, AnswerLineLeftovers) {
  expect_rows({
      {"1+1\ny 2+3\nn", kAsk + "1 + 1 = 2\n" + kGoOn + kAsk + "2 + 3 = 5\n" + kGoOn + kEnd},
      {"2+3 4*5\nn\n", kAsk + "2 + 3 = 5\n" + kGoOn},
      {"2 ^ 3\nn\n", kAsk + kGoOn + kEnd},
      {"1,000 + 5\nn\n", kAsk + kGoOn},
  });
}

TEST(DialogueTest, UnreadableNumberAsksAgain) {
  expect_rows({
      {"abc\nn\n", kAsk + kGoOn + kEnd},
      {"1+1\nyes\ny\n2+2\nn\n",
       kAsk + "1 + 1 = 2\n" + kGoOn + kAsk + kGoOn + kAsk + "2 + 2 = 4\n" + kGoOn + kEnd},
      {"1e400 * 2\ny 3*3\nn", kAsk + kGoOn + kAsk + "3 * 3 = 9\n" + kGoOn + kEnd},
      {"2 + x\nn", kAsk + kGoOn + kEnd},
  });
}

// Once the input has ended nothing more is written, whatever was pending.
TEST(DialogueTest, EndOfInput) {
  expect_rows({
      {"", kAsk},
      {"  \n\t", kAsk},
      {"2", kAsk},
      {"2 +", kAsk},
      {"2 + \n", kAsk},
      {"1e", kAsk},
      {"-", kAsk},
      {"1e400", kAsk},
      {"2+3", kAsk + "2 + 3 = 5\n" + kGoOn},
      {"2+3\n", kAsk + "2 + 3 = 5\n" + kGoOn},
      {"2+3\ny", kAsk + "2 + 3 = 5\n" + kGoOn + kAsk},
      {"2+3\ny\n", kAsk + "2 + 3 = 5\n" + kGoOn + kAsk},
      {"2+3\nn", kAsk + "2 + 3 = 5\n" + kGoOn + kEnd},
  });
}

}  // namespace
