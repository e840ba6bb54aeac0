// The calculator's conversation with its user.

#ifndef CALCULATOR_DIALOGUE_H_
#define CALCULATOR_DIALOGUE_H_

// Asks for expressions on standard output and evaluates them from standard
// input until the answer to "evaluate another?" is not y or Y, the input
// ends, or standard output fails. The answer n or N ends with
// "Program has terminated." (no line end).
void run_dialogue();

#endif  // CALCULATOR_DIALOGUE_H_
