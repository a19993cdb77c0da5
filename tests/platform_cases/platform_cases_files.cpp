// The files area: opening with each disposition, read-only files and files
// in use, deleting, moving, writing and cutting, listings and attributes.
#include <algorithm>
#include <vector>

#include "common/text.h"
#include "tests/platform_cases/platform_cases.h"

namespace platform_cases {
namespace {

using namespace platform;

Files& FilesOf(Bench& b) { return b.system().files(); }
std::u16string At(Bench& b, std::u16string_view name) { return b.folder() + std::u16string(name); }

// "opens" or "refused", with the last error when `withError`, and the size
// of the file afterwards.
std::string Open(Bench& b, std::u16string_view name, std::uint32_t access,
                 std::uint32_t disposition) {
  const FileOpenResult opened = FilesOf(b).CreateFileWide(At(b, name), access, 0, disposition, 0);
  std::string line = opened.handle != 0 ? "opens" : "refused, " + ErrorName(opened.lastError);
  if (opened.handle != 0) {
    // The last error matters only where it tells an existing file.
    if (disposition == kOpenAlways || disposition == kCreateAlways) {
      line += ", " + ErrorName(opened.lastError);
    }
    b.system().runtime().CloseHandle(opened.handle);
  }
  const std::string bytes = ReadBytes(b.system(), At(b, name));
  return line + ", " + (bytes == "<missing>" ? bytes : std::to_string(bytes.size()) + " bytes");
}

// The names a listing of `pattern` gives, sorted (the order of a listing is
// the file system's).
std::string List(Bench& b, std::u16string_view pattern) {
  const auto first = FilesOf(b).FindFirstFileWide(At(b, pattern));
  if (!first) return "no listing";
  std::vector<std::u16string> names = {first->data.name};
  while (const auto next = FilesOf(b).FindNextFileWide(first->search)) names.push_back(next->name);
  const bool closed = FilesOf(b).FindClose(first->search);
  std::sort(names.begin(), names.end());
  return Join(names) + (closed ? "" : " (not closed)");
}

// The attributes a case sets and reads back. The archive bit is left out:
// Wine reports it on every file whatever was set.
constexpr std::uint32_t kShownAttributes =
    kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem | kFileAttributeDirectory;

std::string Attributes(Bench& b, std::u16string_view name) {
  const auto attributes = FilesOf(b).GetFileAttributesWide(At(b, name));
  if (!attributes) return "none";
  std::string line;
  const struct {
    std::uint32_t bit;
    const char* name;
  } kBits[] = {{kFileAttributeReadOnly, "read-only"},
               {kFileAttributeHidden, "hidden"},
               {kFileAttributeSystem, "system"},
               {kFileAttributeDirectory, "folder"}};
  for (const auto& bit : kBits) {
    if ((*attributes & bit.bit) != 0) line += std::string(line.empty() ? "" : "+") + bit.name;
  }
  return line.empty() ? "0" : line;
}

std::string Exists(Bench& b, std::u16string_view name) {
  return ReadBytes(b.system(), At(b, name)) == "<missing>" ? "gone" : "there";
}

// The path with every "\" as "/" and in capitals, as callers may spell it.
std::u16string OtherSpelling(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return text::ToUpper(path);
}

const std::vector<Case>& Table() {
  static const std::vector<Case> cases = {
      // --- CreateFileW's dispositions over an existing file of 3 bytes, a
      // missing one, a missing folder and a folder ---
      {"create new over an existing file",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"a.txt"), "abc");
         return Open(b, u"a.txt", kGenericWrite, kCreateNew);
       },
       "refused, exists, 3 bytes"},
      {"open existing in another spelling",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"a.txt"), "abc");
         const FileOpenResult opened = FilesOf(b).CreateFileWide(OtherSpelling(At(b, u"a.txt")),
                                                                 kGenericRead, 0, kOpenExisting, 0);
         if (opened.handle != 0) b.system().runtime().CloseHandle(opened.handle);
         return Ok(opened.handle != 0);
       },
       "ok"},
      {"open always over an existing file",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"a.txt"), "abc");
         return Open(b, u"a.txt", kGenericWrite, kOpenAlways);
       },
       "opens, already exists, 3 bytes"},
      {"create always over an existing file",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"a.txt"), "abc");
         return Open(b, u"a.txt", kGenericWrite, kCreateAlways);
       },
       "opens, already exists, 0 bytes"},
      {"open existing, missing",
       [](Bench& b) { return Open(b, u"b.txt", kGenericWrite, kOpenExisting); },
       "refused, not found, <missing>"},
      {"truncate existing, missing",
       [](Bench& b) { return Open(b, u"b.txt", kGenericWrite, kTruncateExisting); },
       "refused, not found, <missing>"},
      {"open always, missing: a new archive file",
       [](Bench& b) {
         const std::string line = Open(b, u"c.txt", kGenericWrite, kOpenAlways);
         const auto attributes = FilesOf(b).GetFileAttributesWide(At(b, u"c.txt"));
         return line + ", " +
                (attributes && (*attributes & kFileAttributeArchive) != 0 ? "archive" : "not");
       },
       "opens, success, 0 bytes, archive"},
      {"a file in a missing folder",
       [](Bench& b) { return Open(b, u"none\\d.txt", kGenericWrite, kOpenAlways); },
       "refused, path not found, <missing>"},
      {"a folder opened as a file",
       [](Bench& b) {
         b.MakeFolder(u"Sub");
         const FileOpenResult opened =
             FilesOf(b).CreateFileWide(At(b, u"Sub"), kGenericWrite, 0, kOpenAlways, 0);
         if (opened.handle != 0) b.system().runtime().CloseHandle(opened.handle);
         return opened.handle != 0 ? std::string("opens")
                                   : "refused, " + ErrorName(opened.lastError);
       },
       "refused, denied"},

      // --- Read-only files and files in use ---
      {"a read-only file reads, takes no write through a reading handle, and opens for "
       "writing once writable",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"ro.log"), "7");
         FilesOf(b).SetFileAttributesWide(At(b, u"ro.log"), kFileAttributeReadOnly);
         const FileOpenResult reader =
             FilesOf(b).CreateFileWide(At(b, u"ro.log"), kGenericRead, 0, kOpenExisting, 0);
         std::string line = "read " + Ok(reader.handle != 0);
         const std::uint8_t one[] = {1};
         line += "; write " + Ok(FilesOf(b).WriteFile(reader.handle, one).has_value());
         line += "; cut " + Ok(FilesOf(b).SetEndOfFile(reader.handle));
         b.system().runtime().CloseHandle(reader.handle);
         line += "; " + Attributes(b, u"ro.log");
         line += "; made writable " +
                 Ok(FilesOf(b).SetFileAttributesWide(At(b, u"ro.log"), kFileAttributeNormal));
         return line + "; " + Open(b, u"ro.log", kGenericWrite, kOpenAlways);
       },
       "read ok; write fails; cut fails; read-only; made writable ok; opens, already exists, 1 "
       "bytes"},
      {"a read-only file refuses opening for writing",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"ro.log"), "7");
         FilesOf(b).SetFileAttributesWide(At(b, u"ro.log"), kFileAttributeReadOnly);
         const std::string line = Open(b, u"ro.log", kGenericWrite, kOpenAlways);
         FilesOf(b).SetFileAttributesWide(At(b, u"ro.log"), kFileAttributeNormal);
         return line;
       },
       "refused, denied, 1 bytes", nullptr, Wine::kCannotShow,
       "FILE_ATTRIBUTE_READONLY: \"applications can read the file, but cannot write to it or "
       "delete it\" (Platform SDK, file attribute constants); Wine keeps the bit as the Unix "
       "write permission, which the test machine's root user passes"},
      {"attributes of a missing file cannot be set",
       [](Bench& b) {
         return Ok(FilesOf(b).SetFileAttributesWide(At(b, u"missing.log"), kFileAttributeNormal));
       },
       "fails"},
      {"a file another program holds refuses opening, deleting and moving",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"busy.log"), "x");
         b.HoldOpen(u"busy.log");
         const FileOpenResult opened =
             FilesOf(b).CreateFileWide(At(b, u"busy.log"), kGenericRead, 0, kOpenExisting, 0);
         std::string line =
             opened.handle != 0 ? "opens" : "refused, " + ErrorName(opened.lastError);
         line += "; delete " + Ok(FilesOf(b).DeleteFileWide(At(b, u"busy.log")));
         line += "; move " + Ok(FilesOf(b).MoveFileWide(At(b, u"busy.log"), At(b, u"b.log")).moved);
         return line;
       },
       "refused, sharing violation; delete fails; move fails"},

      // --- Deleting ---
      {"delete: a closed writable file in another spelling, once",
       [](Bench& b) {
         b.MakeFolder(u"Logs");
         WriteBytes(b.system(), At(b, u"Logs\\old.log"), "1");
         std::string line = Ok(FilesOf(b).DeleteFileWide(OtherSpelling(At(b, u"Logs\\old.log"))));
         line += ", " + Exists(b, u"Logs\\old.log") + ", folder " + Attributes(b, u"Logs");
         return line + "; again " + Ok(FilesOf(b).DeleteFileWide(At(b, u"Logs\\old.log")));
       },
       "ok, gone, folder folder; again fails"},
      {"delete: not a folder, not a read-only file",
       [](Bench& b) {
         b.MakeFolder(u"Logs");
         WriteBytes(b.system(), At(b, u"ro.log"), "1");
         FilesOf(b).SetFileAttributesWide(At(b, u"ro.log"), kFileAttributeReadOnly);
         std::string line = Ok(FilesOf(b).DeleteFileWide(At(b, u"Logs")));
         line += ", " + Ok(FilesOf(b).DeleteFileWide(At(b, u"ro.log")));
         return line + ", " + Exists(b, u"ro.log");
       },
       "fails, fails, there"},
      {"delete: not while the program's own handle is open",
       [](Bench& b) {
         const FileOpenResult held =
             FilesOf(b).CreateFileWide(At(b, u"held.log"), kGenericWrite, 0, kCreateNew, 0);
         std::string line = Ok(FilesOf(b).DeleteFileWide(At(b, u"held.log")));
         b.system().runtime().CloseHandle(held.handle);
         return line + ", after closing " + Ok(FilesOf(b).DeleteFileWide(At(b, u"held.log")));
       },
       "fails, after closing ok"},

      // --- Writing ---
      {"writes move the position, a write past the end fills zeros, the end cuts",
       [](Bench& b) {
         Files& files = FilesOf(b);
         const Handle file =
             files.CreateFileWide(At(b, u"out.bin"), kGenericWrite, 0, kCreateNew, 0).handle;
         const std::uint8_t four[] = {'1', '2', '3', '4'};
         const std::uint8_t nine[] = {'9'};
         const std::uint8_t five[] = {'5'};
         std::string line = std::to_string(files.WriteFile(file, four).value_or(99));
         line += " " + std::to_string(files.SetFilePointer(file, 1, kFileBegin).value_or(99));
         files.WriteFile(file, nine);
         line += " " + std::to_string(files.SetFilePointer(file, 2, kFileEnd).value_or(99));
         files.WriteFile(file, five);
         line += " size " + std::to_string(files.GetFileSize(file).value_or(99));
         line +=
             " back " + std::to_string(files.SetFilePointer(file, -5, kFileCurrent).value_or(99));
         line +=
             " before the start " + Ok(files.SetFilePointer(file, -3, kFileCurrent).has_value());
         line += " cut " + Ok(files.SetEndOfFile(file));
         line += " close " + Ok(b.system().runtime().CloseHandle(file));
         line += " again " + Ok(b.system().runtime().CloseHandle(file));
         std::string bytes = ReadBytes(b.system(), At(b, u"out.bin"));
         std::replace(bytes.begin(), bytes.end(), '\0', '0');
         return line + " [" + bytes + "]";
       },
       "4 1 6 size 7 back 2 before the start fails cut ok close ok again fails [19]"},
      {"reading gives the bytes and 0 at the end",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"r.bin"), "abcde");
         Files& files = FilesOf(b);
         const Handle file =
             files.CreateFileWide(At(b, u"r.bin"), kGenericRead, kFileShareRead, kOpenExisting, 0)
                 .handle;
         std::vector<std::uint8_t> buffer(3);
         std::string line = std::to_string(files.ReadFile(file, buffer).value_or(99));
         line += " " + std::to_string(files.ReadFile(file, buffer).value_or(99));
         line += " " + std::to_string(files.ReadFile(file, buffer).value_or(99));
         b.system().runtime().CloseHandle(file);
         return line + " [" + std::string(buffer.begin(), buffer.begin() + 2) + "]";
       },
       "3 2 0 [de]"},

      // --- Listings and attributes ---
      {"a listing gives dots, folders and files in their own case",
       [](Bench& b) {
         b.MakeFolder(u"Apps");
         WriteBytes(b.system(), At(b, u"b.EXE"), "0123456789");
         WriteBytes(b.system(), At(b, u"Apps\\x.dll"), "");
         return List(b, u"*.*") + "; " + List(b, u"*");
       },
       ".|..|Apps|b.EXE; .|..|Apps|b.EXE"},
      {"patterns list the names that match, without the dots",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"b.EXE"), "0123456789");
         WriteBytes(b.system(), At(b, u"long.exe"), "");
         return List(b, u"?.exe") + "; " + List(b, u"*.com") + "; " + List(b, u"none\\*.*");
       },
       "b.EXE; no listing; no listing"},
      {"a listing gives sizes and attributes",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"ten.bin"), "0123456789");
         FilesOf(b).SetFileAttributesWide(At(b, u"ten.bin"), kFileAttributeHidden);
         const auto found = FilesOf(b).FindFirstFileWide(At(b, u"ten.bin"));
         if (!found) return std::string("no listing");
         FilesOf(b).FindClose(found->search);
         return std::to_string(found->data.size) + " bytes, " +
                ((found->data.attributes & kShownAttributes) == kFileAttributeHidden
                     ? "hidden"
                     : "other attributes");
       },
       "10 bytes, hidden"},
      {"a plain name finds itself in its own case, a folder as a folder",
       [](Bench& b) {
         b.MakeFolder(u"Data");
         WriteBytes(b.system(), At(b, u"Data\\Mixed.Exe"), "12");
         std::string line = List(b, u"data\\MIXED.EXE") + "; " + List(b, u"Data") + "; " +
                            List(b, u"Data\\none.exe");
         const auto folder = FilesOf(b).FindFirstFileWide(At(b, u"Data"));
         if (folder) {
           FilesOf(b).FindClose(folder->search);
           line += (folder->data.attributes & kFileAttributeDirectory) != 0 ? "; a folder" : "";
         }
         return line;
       },
       "Mixed.Exe; Data; no listing; a folder"},
      {"attributes of files and folders",
       [](Bench& b) {
         b.MakeFolder(u"Data");
         WriteBytes(b.system(), At(b, u"Data\\h.exe"), "12");
         FilesOf(b).SetFileAttributesWide(At(b, u"Data\\h.exe"),
                                          kFileAttributeHidden | kFileAttributeSystem);
         return Attributes(b, u"data\\H.EXE") + ", " + Attributes(b, u"Data") + ", " +
                Attributes(b, u"Data\\none.exe");
       },
       "hidden+system, folder, none"},

      // --- Moving ---
      {"a move refuses a taken name, a missing folder and a missing file",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"a.txt"), "1");
         WriteBytes(b.system(), At(b, u"taken.txt"), "2");
         std::string line = Ok(FilesOf(b).MoveFileWide(At(b, u"a.txt"), At(b, u"taken.txt")).moved);
         line += ", " + Ok(FilesOf(b).MoveFileWide(At(b, u"a.txt"), At(b, u"none\\a.txt")).moved);
         line += ", " + Ok(FilesOf(b).MoveFileWide(At(b, u"none.txt"), At(b, u"b.txt")).moved);
         return line + ", " + ReadBytes(b.system(), At(b, u"taken.txt"));
       },
       "fails, fails, fails, 2"},
      {"a read-only file may be renamed and keeps its attributes and new name's case",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"a.txt"), "1");
         FilesOf(b).SetFileAttributesWide(At(b, u"a.txt"), kFileAttributeReadOnly);
         std::string line = Ok(FilesOf(b).MoveFileWide(At(b, u"a.txt"), At(b, u"Sub.TXT")).moved);
         line += ", " + Exists(b, u"a.txt") + ", " + Attributes(b, u"sub.txt") + ", " +
                 List(b, u"sub.txt");
         FilesOf(b).SetFileAttributesWide(At(b, u"Sub.TXT"), kFileAttributeNormal);
         return line;
       },
       "ok, gone, read-only, Sub.TXT"},
      // MoveFileExW is a stub on Windows 9x/ME (it fails there whatever it
      // is asked), which Wine's win98 setting does not imitate.
      {"replacing moves onto a writable file, not onto one in use, and not without the flag",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"new.txt"), "1");
         WriteBytes(b.system(), At(b, u"taken.txt"), "2");
         WriteBytes(b.system(), At(b, u"other.txt"), "3");
         WriteBytes(b.system(), At(b, u"busy.txt"), "4");
         b.HoldOpen(u"busy.txt");
         Files& files = FilesOf(b);
         std::string line = Ok(files.MoveFileExWide(At(b, u"new.txt"), At(b, u"taken.txt"),
                                                    kMoveFileReplaceExisting));
         line += " " + ReadBytes(b.system(), At(b, u"taken.txt")) + ", ";
         line += Ok(files.MoveFileExWide(At(b, u"taken.txt"), At(b, u"busy.txt"),
                                         kMoveFileReplaceExisting)) +
                 ", ";
         line += Ok(files.MoveFileExWide(At(b, u"taken.txt"), At(b, u"other.txt"), 0));
         return line;
       },
       "ok 1, fails, fails", "fails 2, fails, fails", Wine::kShowsNtOnly,
       "MoveFileExW is a stub on Windows 9x/ME (Platform SDK: \"Windows Me/98/95: not "
       "supported\", see docs/target-imports.txt); Wine's win98 setting carries it out"},
      {"replacing does not move onto a read-only file",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"new.txt"), "1");
         WriteBytes(b.system(), At(b, u"ro.txt"), "3");
         FilesOf(b).SetFileAttributesWide(At(b, u"ro.txt"), kFileAttributeReadOnly);
         std::string line = Ok(FilesOf(b).MoveFileExWide(At(b, u"new.txt"), At(b, u"ro.txt"),
                                                         kMoveFileReplaceExisting));
         line += " " + ReadBytes(b.system(), At(b, u"ro.txt"));
         FilesOf(b).SetFileAttributesWide(At(b, u"ro.txt"), kFileAttributeNormal);
         return line;
       },
       "fails 3", nullptr, Wine::kCannotShow,
       "a read-only file cannot be written or deleted (Platform SDK, FILE_ATTRIBUTE_READONLY), "
       "so not replaced either; Wine replaces it (and on Windows 9x/ME MoveFileExW fails "
       "anyway)"},
      {"a delayed deletion is taken and leaves the file",
       [](Bench& b) {
         WriteBytes(b.system(), At(b, u"in-use.exe"), "1");
         const std::string line = Ok(FilesOf(b).MoveFileExWide(At(b, u"in-use.exe"), std::nullopt,
                                                               kMoveFileDelayUntilReboot));
         return line + ", " + Exists(b, u"in-use.exe");
       },
       "ok, there", "fails, there", Wine::kShowsNtOnly,
       "MoveFileExW is a stub on Windows 9x/ME, where delayed moves go through WININIT.INI; "
       "Wine's win98 setting schedules them"},
      // --- Drives ---
      {"drive C: is fixed and listed first",
       [](Bench& b) {
         const DriveStrings drives = FilesOf(b).GetLogicalDriveStringsWide(1023);
         const bool listed = drives.answer > 3 && drives.answer < 1023 &&
                             drives.strings.substr(0, 4) == std::u16string(u"C:\\\0", 4) &&
                             drives.strings.back() == u'\0';
         return std::string(listed ? "listed" : "not listed") + ", " +
                std::to_string(FilesOf(b).GetDriveTypeWide(u"C:\\"));
       },
       "listed, 3"},
  };
  return cases;
}

}  // namespace

std::span<const Case> FileCases() { return Table(); }

}  // namespace platform_cases
