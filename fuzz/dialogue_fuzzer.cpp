// libFuzzer target: the whole dialogue with the fuzz input as standard input.
// Besides what the sanitizers catch, it fails when the dialogue writes more
// than its input can account for: every pass that writes consumes input, so
// unbounded output means a dialogue that no longer ends.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "dialogue.h"

namespace {

constexpr std::size_t kBytesPerInputByte = 256;
constexpr std::size_t kBytesForNoInput = 256;

// Counts what is written and aborts as soon as it passes the bound, long
// before an endless dialogue would reach the time limit.
class BoundedSink : public std::streambuf {
 public:
  explicit BoundedSink(std::size_t bound) : bound_(bound) {}

 protected:
  std::streamsize xsputn(const char* /*bytes*/, std::streamsize count) override {
    add(static_cast<std::size_t>(count));
    return count;
  }
  int_type overflow(int_type character) override {
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
      add(1);
    }
    return traits_type::not_eof(character);
  }

 private:
  void add(std::size_t count) {
    written_ += count;
    if (written_ > bound_) {
      std::abort();
    }
  }

  std::size_t bound_;
  std::size_t written_ = 0;
};

}  // namespace

// The name and the pointer with its size are how libFuzzer calls the target.
// NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream input(std::string(data, data + size));  // NOLINT(*-pointer-arithmetic)
  BoundedSink out(kBytesPerInputByte * size + kBytesForNoInput);
  // Setting a stream buffer also clears the state the last run left.
  std::streambuf* const console_in = std::cin.rdbuf(input.rdbuf());
  std::streambuf* const console_out = std::cout.rdbuf(&out);
  run_dialogue();
  std::cin.rdbuf(console_in);
  std::cout.rdbuf(console_out);
  return 0;
}
