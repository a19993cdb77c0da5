// The handlers of three variants of the Sober worm. Each deletes the
// worm's file or ends its process, cleans the start-up entries that name
// it, and deletes its companion files (always all of them: a file that is
// not there is reported like a deleted one). They keep no state between
// findings.
#pragma once

#include "handlers/builtin_handler.h"

namespace handlers {

inline constexpr char16_t kSoberBaseName[] = u"Sober";

// Memory finding: ends the process, deletes its module, then as a file
// finding: start-up entries naming the path, the seven companion files of
// the system directory. Every line ends in "done".
class SoberJHandler final : public BuiltInHandler {
 public:
  static constexpr signatures::SignaturePair kSignatures = {
      .memory = {{0x6E, 0x00, 0x6F, 0x00, 0x74}, 0x009A, 261, 108, 0xDCFA638A},
      .file = {{0x50, 0x72, 0x6F, 0x6A, 0x65}, 0x9AE1, 136, 49, 0x1DF8B959}};

  SoberJHandler() : BuiltInHandler(kSignatures, kSoberBaseName, u"J") {}
  void Remove(scan::ScanContext& context, const scan::Finding& finding) override;
};

// Memory finding: ends the process and deletes its module; unless further
// built-in findings of the same memory scan follow (`more`), then the
// companion files, with the start-up entries that name the worm's own
// services.exe and smss.exe. File finding: the file, the start-up entries
// naming it and every companion file.
class SoberPHandler final : public BuiltInHandler {
 public:
  static constexpr signatures::SignaturePair kSignatures = {
      .memory = {{0x83, 0x96, 0x8E, 0x8A, 0x8D}, 0x5981, 128, 118, 0x0B8C0144},
      .file = {{0xCE, 0x0E, 0x11, 0xE7, 0x4E}, 0x9C19, 126, 54, 0xB73090CE}};

  SoberPHandler() : BuiltInHandler(kSignatures, kSoberBaseName, u"P") {}
  void Remove(scan::ScanContext& context, const scan::Finding& finding) override;
};

// As Sober.P, with its own companion files in the Windows directory, of
// which the first three also have their start-up entries cleaned; a file
// finding cleans those too.
class SoberYHandler final : public BuiltInHandler {
 public:
  static constexpr signatures::SignaturePair kSignatures = {
      .memory = {{0x50, 0x4B, 0x03, 0x04, 0x0A}, 0xD85E, 138, 18, 0x21554B81},
      .file = {{0x6E, 0x0D, 0x9A, 0xCE, 0x88}, 0xEC1A, 64, 56, 0x88486619}};

  SoberYHandler() : BuiltInHandler(kSignatures, kSoberBaseName, u"Y") {}
  void Remove(scan::ScanContext& context, const scan::Finding& finding) override;
};

}  // namespace handlers
