#include "detect/word_frequency.h"

namespace detect {
namespace {

constexpr WordFrequencyTable kBuiltIn = {
#include "word_frequency.inc"
};

}  // namespace

const WordFrequencyTable& BuiltInWordFrequencies() { return kBuiltIn; }

}  // namespace detect
