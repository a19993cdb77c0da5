// Which vector search the signature index may use. Vector registers are only
// safe where both the processor has the instructions and the operating
// system saves the registers on a thread switch: a system that has not set
// the processor's OSFXSR flag makes every SSE instruction fault as illegal,
// and one that does not enable the AVX state in XCR0 does the same for AVX.
// No CPUID bit shows OSFXSR; the system's answer comes from the system
// itself. Windows 9x, NT 4, 2000 and XP save no AVX registers.
#pragma once

namespace signatures {

enum class VectorLevel { kNone, kSsse3, kAvx2 };

// What CPUID reports.
struct ProcessorVectorFlags {
  bool ssse3 = false;
  bool avx2 = false;
};

// What the running system saves on a thread switch.
struct SystemVectorState {
  bool savesSse = false;  // OSFXSR: the SSE registers (XMM)
  bool savesAvx = false;  // XCR0: the AVX registers (YMM)
};

// The highest level up to `built` (the vector code this build has) that the
// processor has and the system saves the registers of.
VectorLevel SelectVectorLevel(ProcessorVectorFlags processor, SystemVectorState system,
                              VectorLevel built);

}  // namespace signatures
