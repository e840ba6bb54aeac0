// One expression: the result line, the number format, how the items are read
// and what is left for the next read.

#include "expression.h"

#include <gtest/gtest.h>

#include <string>

#include "console.h"

namespace {

using namespace std::string_literals;

struct Row {
  std::string input;
  std::string output;
  std::string unread;
};

void expect_rows(const std::initializer_list<Row>& rows) {
  for (const Row& row : rows) {
    const Conversation run = converse(evaluate_expression, row.input);
    EXPECT_EQ(run.output, row.output) << "input: " << row.input;
    EXPECT_EQ(run.unread, row.unread) << "input: " << row.input;
  }
}

TEST(ExpressionTest, ResultLineAndNumberFormat) {
  expect_rows({
      {"12.5 * 4", "12.5 * 4 = 50\n", ""},
      {"4 - 10", "4 - 10 = -6\n", ""},
      {"3--4", "3 - -4 = 7\n", ""},
      {"1 / 3", "1 / 3 = 0.333333\n", ""},
      {"2 / 3", "2 / 3 = 0.666667\n", ""},
      {"0.1 + 0.2", "0.1 + 0.2 = 0.3\n", ""},
      {"123456 * 1", "123456 * 1 = 123456\n", ""},
      {"1234567 + 1", "1.23457e+06 + 1 = 1.23457e+06\n", ""},
      {"999999.5 * 1", "1e+06 * 1 = 1e+06\n", ""},
      {"0.0001 * 1", "0.0001 * 1 = 0.0001\n", ""},
      {"0.00001234 * 1", "1.234e-05 * 1 = 1.234e-05\n", ""},
      {"1e100 * 1", "1e+100 * 1 = 1e+100\n", ""},
      {"1e3 * 2", "1000 * 2 = 2000\n", ""},
      {"+5 - 2", "5 - 2 = 3\n", ""},
      {".5 * 4", "0.5 * 4 = 2\n", ""},
      {"0 * -5", "0 * -5 = -0\n", ""},
      {"1 / 0", "1 / 0 = inf\n", ""},
      {"-1 / 0", "-1 / 0 = -inf\n", ""},
      {"1e308 * 10", "1e+308 * 10 = inf\n", ""},
      // Read as binary64: both operands round to 2^53.
      {"9007199254740993 - 9007199254740992", "9.0072e+15 - 9.0072e+15 = 0\n", ""},
      // The product is just above 1234565; rounded first to 64 bits, as the
      // x87 unit does, and then to 53, it would be 1234565 and end in 6.
      {"1.3127076859355418 * 940472.1349827012", "1.31271 * 940472 = 1.23457e+06\n", ""},
  });
}

TEST(ExpressionTest, ItemsAcrossLinesWithoutSpacesAndWithLeftovers) {
  expect_rows({
      {"7/2", "7 / 2 = 3.5\n", ""},
      {"1\n*\n\n  2\n", "1 * 2 = 2\n", "\n"},
      {"\t7\t/\t2 rest", "7 / 2 = 3.5\n", " rest"},
      {"5e-2*2", "0.05 * 2 = 0.1\n", ""},
      {"2+3 4*5\n", "2 + 3 = 5\n", " 4*5\n"},
      {"2+3y", "2 + 3 = 5\n", "y"},
  });
}

// The second operand is read before the operator is looked at, so it is gone.
TEST(ExpressionTest, UnrecognisedOperatorWritesNothing) {
  expect_rows({
      {"2 ^ 3\nn", "", "\nn"},
      {"2 x 5", "", ""},
      {"3 4 5", "", ""},
      {"1,000 + 5", "", " + 5"},
      {"6 % 4", "", ""},
      {"6 = 4", "", ""},
      {"6 \0 4"s, "", ""},
      {"6 \xff 4", "", ""},
  });
}

// The rest of the line goes, so the next read starts on a fresh line.
TEST(ExpressionTest, UnreadableOperandDiscardsItsLine) {
  expect_rows({
      {"abc def\nnext", "", "next"},
      {"es\ny", "", "y"},
      {"-\n1", "", "1"},
      {"1e\nz", "", "z"},
      {"1e+ 2\nz", "", "z"},
      {"1e400 + 1\nq", "", "q"},
      {"2 + abc\n7", "", "7"},
      {"\x80 + 1\n2", "", "2"},
      {"\xc3\xb7\n2", "", "2"},
  });
}

}  // namespace
