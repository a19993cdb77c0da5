#include "signatures/word_frequency.h"

namespace signatures {
namespace {

constexpr WordFrequencyTable kBuiltIn = {
#include "word_frequency.inc"
};

}  // namespace

const WordFrequencyTable& BuiltInWordFrequencies() { return kBuiltIn; }

}  // namespace signatures
