// Runs part of the dialogue in this process with standard input and output
// redirected to strings, so tests can compare the exact bytes written.

#ifndef CALCULATOR_TESTS_CONSOLE_H_
#define CALCULATOR_TESTS_CONSOLE_H_

#include <iostream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>

// Takes at most a mebibyte, so a dialogue that never ends spins until the
// test's timeout instead of filling memory.
class CappedOutput : public std::streambuf {
 public:
  std::string text;

 protected:
  int_type overflow(int_type character) override {
    if (traits_type::eq_int_type(character, traits_type::eof())) {
      return traits_type::not_eof(character);
    }
    if (text.size() >= (1 << 20)) {
      return traits_type::eof();
    }
    text.push_back(traits_type::to_char_type(character));
    return character;
  }
};

struct Conversation {
  std::string output;
  std::string unread;  // what the dialogue left of its input
};

inline Conversation converse(void (*body)(), const std::string& input) {
  std::istringstream stream(input);
  CappedOutput out;
  std::streambuf* const console_in = std::cin.rdbuf(stream.rdbuf());
  std::streambuf* const console_out = std::cout.rdbuf(&out);
  body();
  std::cin.rdbuf(console_in);  // which also clears the state the body left
  std::cout.rdbuf(console_out);
  return {out.text, std::string(std::istreambuf_iterator<char>(stream.rdbuf()), {})};
}

#endif  // CALCULATOR_TESTS_CONSOLE_H_
