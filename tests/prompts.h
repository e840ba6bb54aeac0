// What the calculator writes around each expression, byte for byte.

#ifndef CALCULATOR_TESTS_PROMPTS_H_
#define CALCULATOR_TESTS_PROMPTS_H_

#include <string>

inline const std::string kAsk = "Enter expression\n";
inline const std::string kGoOn =
    "Do you wish to evaluate another expression? \n\n"
    "Type Y / y for Yes or N / n for No. \n\n";
inline const std::string kEnd = "Program has terminated.";

#endif  // CALCULATOR_TESTS_PROMPTS_H_
