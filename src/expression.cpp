// Reading and evaluating one expression of the calculator.

#include "expression.h"

#include <cfloat>
#include <iostream>
#include <limits>
#include <optional>

// Each result is one binary64 operation. A compiler that keeps intermediate
// values in wider precision (the x87 unit of 32-bit x86) rounds a product
// twice, and the second rounding can land on the wrong double.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "doubles must be evaluated in double precision: on 32-bit x86, use -msse2 -mfpmath=sse"
#endif

namespace {

// One binary64 operation, or nothing for a character that is not an operator.
std::optional<double> apply_operator(char symbol, double first, double second) {
  switch (symbol) {
    case '+':
      return first + second;
    case '-':
      return first - second;
    case '*':
      return first * second;
    case '/':
      return first / second;
    default:
      return std::nullopt;
  }
}

// A failed read fails every later one, so an operand that is not a number
// would stall the dialogue: forget the failure and the rest of its line. At
// the end of input, or on a read error, the failure stays, for the dialogue
// to end on. A read error that lasts would also fail the ignore below, but
// one that passes would not: without the bad() check the dialogue would go on
// after it, reading past what was lost.
void skip_unreadable_line() {
  if (std::cin.eof() || std::cin.bad()) {
    return;
  }
  std::cin.clear();
  std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

}  // namespace

void evaluate_expression() {
  double first = 0;
  char symbol = 0;
  double second = 0;
  if (!(std::cin >> first >> symbol >> second)) {
    skip_unreadable_line();
    return;
  }
  const std::optional<double> result = apply_operator(symbol, first, second);
  if (result) {
    std::cout << first << ' ' << symbol << ' ' << second << " = " << *result << std::endl;
  }
}
