// The calculator's conversation with its user: prompts, answers, the ending.

#include "dialogue.h"

#include <iostream>

#include "expression.h"

namespace {

constexpr const char* kAskForExpression = "Enter expression";
constexpr const char* kAskToGoOn = "Do you wish to evaluate another expression? ";
constexpr const char* kExplainAnswers = "Type Y / y for Yes or N / n for No. ";
// Flushed by the normal end of the program, so it needs no line end.
constexpr const char* kClosingMessage = "Program has terminated.";

bool is_yes(char answer) { return answer == 'y' || answer == 'Y'; }
bool is_no(char answer) { return answer == 'n' || answer == 'N'; }

void write_continuation_prompt() {
  std::cout << kAskToGoOn << std::endl << std::endl;
  std::cout << kExplainAnswers << std::endl << std::endl;
}

}  // namespace

void run_dialogue() {
  char answer = 'Y';
  while (is_yes(answer)) {
    // Output that cannot be written (a reader gone with SIGPIPE ignored, a
    // full disk) would leave an endless input feeding a dialogue nobody reads.
    if (!(std::cout << kAskForExpression << std::endl)) {
      return;
    }
    evaluate_expression();
    // Standard input stays failed only once it has ended or cannot be read:
    // stop in silence.
    if (!std::cin) {
      return;
    }
    write_continuation_prompt();
    if (!(std::cin >> answer)) {
      return;
    }
  }
  if (is_no(answer)) {
    std::cout << kClosingMessage;
  }
}
