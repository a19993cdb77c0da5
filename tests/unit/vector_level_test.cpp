#include "signatures/vector_level.h"

#include <gtest/gtest.h>

namespace {

using signatures::VectorLevel;

TEST(VectorLevel, OnlyWhatTheProcessorHasAndTheSystemSaves) {
  struct Case {
    const char* name;
    bool ssse3, avx2;         // the processor
    bool savesSse, savesAvx;  // the system
    VectorLevel built;
    VectorLevel expected;
  };
  constexpr auto kNone = VectorLevel::kNone, kSsse3 = VectorLevel::kSsse3,
                 kAvx2 = VectorLevel::kAvx2;
  const Case cases[] = {
      {"a Pentium or K6: nothing", false, false, true, true, kAvx2, kNone},
      {"SSSE3 on a system that saves the SSE registers", true, false, true, false, kAvx2, kSsse3},
      {"SSSE3 on 9x without OSFXSR (NT 4, an old 98)", true, false, false, false, kAvx2, kNone},
      {"AVX2 on XP: the AVX registers are not saved", true, true, true, false, kAvx2, kSsse3},
      {"AVX2 on a system that saves both", true, true, true, true, kAvx2, kAvx2},
      {"AVX2 where only the AVX state is enabled", true, true, false, true, kAvx2, kNone},
      {"AVX2 code not built (Windows)", true, true, true, true, kSsse3, kSsse3},
      {"no vector code built (the i686 program)", true, true, true, true, kNone, kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(signatures::SelectVectorLevel({c.ssse3, c.avx2}, {c.savesSse, c.savesAvx}, c.built),
              c.expected)
        << c.name;
  }
}

}  // namespace
