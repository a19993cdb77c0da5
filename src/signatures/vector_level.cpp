#include "signatures/vector_level.h"

namespace signatures {

VectorLevel SelectVectorLevel(ProcessorVectorFlags processor, SystemVectorState system,
                              VectorLevel built) {
  // AVX code uses the SSE registers' lower halves too: it needs both saved.
  if (built >= VectorLevel::kAvx2 && processor.avx2 && system.savesSse && system.savesAvx) {
    return VectorLevel::kAvx2;
  }
  if (built >= VectorLevel::kSsse3 && processor.ssse3 && system.savesSse) {
    return VectorLevel::kSsse3;
  }
  return VectorLevel::kNone;
}

}  // namespace signatures
