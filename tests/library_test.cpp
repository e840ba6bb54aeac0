// What the standard library decides, not the calculator: the text of NaN,
// which forms of number it reads beyond plain decimal, and how far it reads
// into a word. Each library's answers are stated here side by side.

#include <gtest/gtest.h>

#include <string>

#include "console.h"
#include "dialogue.h"
#include "prompts.h"

namespace {

// The libraries the calculator is built and tested with.
enum Library { kGlibcLibstdcxx, kMingwLibstdcxx, kGlibcLibcxx, kLibraries };

#if defined(_LIBCPP_VERSION) && defined(__GLIBC__)
constexpr int kLibrary = kGlibcLibcxx;
#elif defined(__GLIBCXX__) && defined(__MINGW32__)
constexpr int kLibrary = kMingwLibstdcxx;
#elif defined(__GLIBCXX__) && defined(__GLIBC__)
constexpr int kLibrary = kGlibcLibstdcxx;
#else
constexpr int kLibrary = kLibraries;  // not stated: the test is skipped
#endif

struct Row {
  std::string input;
  // After "Enter expression", in the order of Library: glibc and libstdc++,
  // MinGW-w64 and libstdc++, glibc and libc++.
  std::string output[kLibraries];
};

const std::string kAnswered = kGoOn + kEnd;  // the continuation prompt, answered n
const std::string kDropped = kAnswered;      // an unreadable number: no result

TEST(LibraryTest, AnswersThatDependOnTheLibrary) {
  if (kLibrary == kLibraries) {
    GTEST_SKIP() << "no answers are stated for this standard library";
  }
  const Row rows[] = {
      {"0 / 0\nn",
       {"0 / 0 = -nan\n" + kAnswered, "0 / 0 = nan\n" + kAnswered, "0 / 0 = -nan\n" + kAnswered}},
      {"inf * 2\nn", {kDropped, kDropped, "inf * 2 = inf\n" + kAnswered}},
      {"nan * 2\nn", {kDropped, kDropped, "nan * 2 = nan\n" + kAnswered}},
      // Without hexadecimal the x is the operator, and the * the answer.
      {"0x10 * 2\nn", {kGoOn, kGoOn, "16 * 2 = 32\n" + kAnswered}},
      {"1e-320 * 2\nn",
       {"9.99989e-321 * 2 = 1.99998e-320\n" + kAnswered,
        "9.99989e-321 * 2 = 1.99998e-320\n" + kAnswered, kDropped}},
      // libc++ takes the letters a to f as a possible number and meets the end.
      {"abc", {kGoOn, kGoOn, ""}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(converse(run_dialogue, row.input).output, kAsk + row.output[kLibrary])
        << "input: " << row.input;
  }
}

}  // namespace
