// Entry point of the calculator: the dialogue is the whole program.

#include <ios>

#include "dialogue.h"

// Arguments are ignored; every way through the dialogue ends with status 0.
int main() {
  // Nothing here uses C stdio, and keeping the streams in step with it costs
  // a getc and an ungetc for every character read.
  std::ios_base::sync_with_stdio(false);
  run_dialogue();
  return 0;
}
