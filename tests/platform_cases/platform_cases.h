// Cases of the platform's areas that every backend must answer alike: one
// table per area (files, registry, profile files, resources, runtime), run
// natively against the fake (tests/unit/platform_cases_test.cpp, for both
// families of Windows) and under Wine against the Win32 backend
// (tests/win32/platform_cases_test.cpp, under Wine's winxp and win98
// settings), so that the fake cannot drift from what Windows does.
//
// A case acts only through the platform's interfaces and what its Bench
// offers, and describes what it saw as one line of text; the table gives
// the line expected on the NT family and, where Windows 9x/ME answer
// otherwise, on those. A case whose rule Wine does not follow (Wine is
// lenient where Windows is not, or has no 9x behaviour) says so and why;
// the fake still answers it, and the Wine runner leaves it out.
//
// The calls of a case are made one statement after the other: the operands
// of "+" are evaluated in no set order.
//
// To add a case: a row in the table of its area (platform_cases_<area>.cpp)
// with its name, what it does, and the line expected per family.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace platform_cases {

enum class Family { kNt, kWindows9x };

// What a backend gives a case besides its system: a folder and a registry
// key of the case's own, fresh and empty, and the few set-ups that the
// platform's interfaces do not offer.
class Bench {
 public:
  virtual ~Bench() = default;
  virtual platform::System& system() = 0;
  virtual Family family() const = 0;
  // The case's folder, existing and empty, with a trailing backslash
  // ("C:\qrt-cases\7\").
  virtual std::u16string folder() const = 0;
  // The case's key below HKEY_CURRENT_USER, existing and empty
  // ("Software\QRT-Cases\7").
  virtual std::u16string key() const = 0;
  // A name no other case or run uses, for system-wide objects (mutexes).
  virtual std::u16string unique() const = 0;
  // Makes folder `name` in the case's folder.
  virtual void MakeFolder(std::u16string_view name) = 0;
  // Holds file `name` of the case's folder open without sharing, as another
  // program that has it open, until the case ends.
  virtual void HoldOpen(std::u16string_view name) = 0;
};

// Whether Wine shows a case's rule.
enum class Wine {
  kShows,
  kShowsNtOnly,  // not under Wine's win98 setting
  kCannotShow,
};

// The line a case answers when it is not run for a family.
inline constexpr const char* kNotApplicable = "(not run)";

struct Case {
  const char* name;
  std::function<std::string(Bench&)> run;
  // What the case answers on the NT family, and on Windows 9x/ME when that
  // differs (null: as on NT; kNotApplicable: not run there).
  const char* nt;
  const char* win9x = nullptr;
  Wine wine = Wine::kShows;
  // Why Wine cannot show the rule (with the source of Windows' rule).
  const char* why = nullptr;
};

std::span<const Case> FileCases();
std::span<const Case> RegistryCases();
std::span<const Case> ProfileFileCases();
std::span<const Case> ResourceCases();
std::span<const Case> RuntimeCases();

// The line `c` must answer on `family`.
const char* ExpectedOn(const Case& c, Family family);
// Whether the Wine runner runs `c` on `family`.
bool WineShows(const Case& c, Family family);

// Runs every case of `table` that applies to `family` on a bench of its own
// (GoogleTest expectations, each named after its case). `underWine` leaves
// out the cases Wine cannot show.
void RunTable(std::span<const Case> table, Family family, bool underWine,
              const std::function<std::unique_ptr<Bench>()>& makeBench);

// --- Helpers for the cases ---

// Writes `bytes` to the file at `path` (created or replaced): false when
// it cannot.
bool WriteBytes(platform::System& system, std::u16string_view path, std::string_view bytes);
// The bytes of the file at `path`, or "<missing>" when it cannot be opened.
std::string ReadBytes(platform::System& system, std::u16string_view path);
// "ok" or "fails".
std::string Ok(bool succeeded);
// A Windows error by name where the cases meet it ("denied", "not found",
// ...), else its number.
std::string ErrorName(std::uint32_t error);
// UTF-16 text as UTF-8, and names joined with "|".
std::string Utf8(std::u16string_view text);
std::string Join(std::span<const std::u16string> names);

}  // namespace platform_cases
