// Entry point of the calculator: the dialogue is the whole program.

#include "dialogue.h"

// Arguments are ignored; every way through the dialogue ends with status 0.
int main() {
  run_dialogue();
  return 0;
}
