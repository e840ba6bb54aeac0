// Reading and evaluating one expression of the calculator.

#ifndef CALCULATOR_EXPRESSION_H_
#define CALCULATOR_EXPRESSION_H_

// Reads a number, an operator character and a second number from standard
// input and writes "<first> <operator> <second> = <result>" to standard output.
// Writes nothing for a character that is not one of + - * /. An operand that
// cannot be read as a number while input remains discards the rest of its
// line; at the end of input, or when it cannot be read, standard input is
// left failed, so the caller can tell that nothing more will come.
void evaluate_expression();

#endif  // CALCULATOR_EXPRESSION_H_
