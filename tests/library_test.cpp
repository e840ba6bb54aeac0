// What the platform decides, not the calculator. The standard library decides
// which forms of number it reads beyond plain decimal and how far it reads
// into a word; the processor decides the sign of the NaN that 0 / 0 makes, and
// the C library whether to write that sign. Each platform's answers are
// stated here side by side.

#include <gtest/gtest.h>

#include <string>

#include "console.h"
#include "dialogue.h"
#include "expression.h"
#include "prompts.h"

namespace {

// The libraries the calculator is built and tested with.
enum Library { kGlibcLibstdcxx, kMingwLibstdcxx, kGlibcLibcxx, kLibraries };

#if defined(_LIBCPP_VERSION) && defined(__GLIBC__)
constexpr Library kLibrary = kGlibcLibcxx;
#elif defined(__GLIBCXX__) && defined(__MINGW32__)
constexpr Library kLibrary = kMingwLibstdcxx;
#elif defined(__GLIBCXX__) && defined(__GLIBC__)
constexpr Library kLibrary = kGlibcLibstdcxx;
#else
constexpr Library kLibrary = kLibraries;  // not stated: the tests are skipped
#endif

// The processors the calculator is built and tested for, by their Debian names.
enum Processor {
  kAmd64,
  kI386,
  kArm64,
  kArmhf,
  kArmel,
  kPpc64el,
  kS390x,
  kRiscv64,
  kMips64el,
  kMipsel,
  kProcessors
};

#if defined(__x86_64__)
constexpr Processor kProcessor = kAmd64;
#elif defined(__i386__)
constexpr Processor kProcessor = kI386;
#elif defined(__aarch64__)
constexpr Processor kProcessor = kArm64;
#elif defined(__arm__) && defined(__SOFTFP__)
constexpr Processor kProcessor = kArmel;  // floating point in software
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
constexpr Processor kProcessor = kArmhf;
#elif defined(__powerpc64__) && defined(__LITTLE_ENDIAN__)
constexpr Processor kProcessor = kPpc64el;
#elif defined(__s390x__)
constexpr Processor kProcessor = kS390x;
#elif defined(__riscv) && __riscv_xlen == 64 && defined(__riscv_float_abi_double)
constexpr Processor kProcessor = kRiscv64;
#elif defined(__mips64) && defined(__MIPSEL__) && defined(__mips_hard_float)
constexpr Processor kProcessor = kMips64el;
#elif defined(__mips__) && defined(__MIPSEL__) && defined(__mips_hard_float)
constexpr Processor kProcessor = kMipsel;
#else
constexpr Processor kProcessor = kProcessors;  // not stated: the NaN test is skipped
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

// The NaN results of 0 / 0 and -0 / 0 on each platform the calculator is
// tested on. x86 makes a negative NaN and the other processors a positive
// one, but floating point in software (armel) gives it the sign a quotient of
// the two operands would have. glibc writes the sign; MinGW-w64 never does.
struct NanRow {
  Library library;
  Processor processor;
  std::string zero_by_zero;
  std::string negative_zero_by_zero;
};

// clang-format off
const NanRow kNanRows[] = {
    {kGlibcLibstdcxx, kAmd64,    "-nan", "-nan"},
    {kGlibcLibcxx,    kAmd64,    "-nan", "-nan"},
    {kMingwLibstdcxx, kAmd64,    "nan",  "nan"},
    {kGlibcLibstdcxx, kI386,     "-nan", "-nan"},
    {kGlibcLibstdcxx, kArm64,    "nan",  "nan"},
    {kGlibcLibstdcxx, kArmhf,    "nan",  "nan"},
    {kGlibcLibstdcxx, kArmel,    "nan",  "-nan"},
    {kGlibcLibstdcxx, kPpc64el,  "nan",  "nan"},
    {kGlibcLibstdcxx, kS390x,    "nan",  "nan"},
    {kGlibcLibstdcxx, kRiscv64,  "nan",  "nan"},
    {kGlibcLibstdcxx, kMips64el, "nan",  "nan"},
    {kGlibcLibstdcxx, kMipsel,   "nan",  "nan"},
};
// clang-format on

TEST(LibraryTest, NanThatDependsOnTheLibraryAndProcessor) {
  for (const NanRow& row : kNanRows) {
    if (row.library == kLibrary && row.processor == kProcessor) {
      EXPECT_EQ(converse(evaluate_expression, "0 / 0").output,
                "0 / 0 = " + row.zero_by_zero + "\n");
      EXPECT_EQ(converse(evaluate_expression, "-0 / 0").output,
                "-0 / 0 = " + row.negative_zero_by_zero + "\n");
      return;
    }
  }
  GTEST_SKIP() << "no NaN is stated for this library and processor";
}

}  // namespace
