// The readers of the string table's blocks and of version resources, over
// blocks built here byte by byte as the resource compiler lays them out, and
// over every damaged form that matters: cut short, lengths past their end,
// keys without their zero.
#include "platform/resource_formats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::VersionQueryStatus;

void PutUnit(Bytes& out, std::uint16_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

void PutUnitAt(Bytes& out, std::size_t offset, std::uint16_t unit) {
  out[offset] = static_cast<std::uint8_t>(unit & 0xFF);
  out[offset + 1] = static_cast<std::uint8_t>(unit >> 8);
}

void PadTo4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

std::u16string TextAt(const Bytes& block, std::size_t offset, std::size_t units) {
  std::u16string text;
  for (std::size_t i = 0; i < units; ++i) {
    text.push_back(static_cast<char16_t>(block[offset + 2 * i] | (block[offset + 2 * i + 1] << 8)));
  }
  return text;
}

// --- The string table ---

// A block of counted strings.
Bytes StringBlock(const std::vector<std::u16string>& strings) {
  Bytes block;
  for (const std::u16string& s : strings) {
    PutUnit(block, static_cast<std::uint16_t>(s.size()));
    for (char16_t c : s) PutUnit(block, c);
  }
  return block;
}

TEST(StringTableBlock, FindsEachStringOfTheBlock) {
  EXPECT_EQ(platform::StringBlockOf(0), 1);
  EXPECT_EQ(platform::StringBlockOf(17), 2);
  EXPECT_EQ(platform::StringBlockOf(0x1234FFFF), 4096);  // only the low 16 bits count

  std::vector<std::u16string> strings(16);
  strings[0] = u"first";
  strings[1] = u"Überprüfung \u4E2D";
  strings[15] = u"last";
  const Bytes block = StringBlock(strings);
  struct Case {
    std::uint32_t id;
    std::u16string text;
  };
  const Case cases[] = {{0, u"first"}, {16, u"first"}, {17, u"Überprüfung \u4E2D"},
                        {2, u""},      {15, u"last"},  {31, u"last"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const auto found = platform::FindStringInBlock(block, c.id);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(TextAt(block, found->offset, found->length), c.text);
  }
}

TEST(StringTableBlock, BlockCutShortFindsNothingPastItsEnd) {
  const Bytes whole = StringBlock({u"ab", u"cdef", u"g"});
  struct Case {
    const char* what;
    Bytes block;
    std::uint32_t id;
  };
  const Case cases[] = {
      {"empty block", {}, 0},
      {"ends before the string", Bytes(whole.begin(), whole.begin() + 6), 1},
      {"count runs past the end", Bytes(whole.begin(), whole.begin() + 14), 1},
      {"odd last byte is no unit", Bytes(whole.begin(), whole.begin() + 15), 1},
      {"beyond the strings given", whole, 3},
      {"count of 65535", Bytes{0xFF, 0xFF, 'x', 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(platform::FindStringInBlock(c.block, c.id).has_value());
  }
  // Every shorter block answers only places inside it.
  for (std::size_t size = 0; size <= whole.size(); ++size) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    for (std::uint32_t id = 0; id < 16; ++id) {
      if (const auto found = platform::FindStringInBlock(cut, id)) {
        EXPECT_LE(found->offset + 2 * found->length, size) << size << " " << id;
      }
    }
  }
  const auto found = platform::FindStringInBlock(Bytes(whole.begin(), whole.begin() + 16), 1);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(TextAt(whole, found->offset, found->length), u"cdef");
}

// --- The version resource ---

struct Node {
  std::u16string key;
  Bytes value;  // UTF-16 when `text`, with its zero
  bool text = false;
  std::vector<Node> children;
};

Node Text(std::u16string key, std::u16string value) {
  Bytes bytes;
  for (char16_t c : value) PutUnit(bytes, c);
  PutUnit(bytes, 0);
  return Node{std::move(key), std::move(bytes), true, {}};
}

void Append(Bytes& out, const Node& node) {
  PadTo4(out);
  const std::size_t start = out.size();
  PutUnit(out, 0);  // wLength, written last
  PutUnit(out, static_cast<std::uint16_t>(node.text ? node.value.size() / 2 : node.value.size()));
  PutUnit(out, node.text ? 1 : 0);
  for (char16_t c : node.key) PutUnit(out, c);
  PutUnit(out, 0);
  PadTo4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) Append(out, child);
  PutUnitAt(out, start, static_cast<std::uint16_t>(out.size() - start));
}

// VS_FIXEDFILEINFO: the signature, then made-up fields.
Bytes FixedInfo() {
  Bytes info = {0xBD, 0x04, 0xEF, 0xFE};
  for (std::uint8_t i = 4; i < 52; ++i) info.push_back(i);
  return info;
}

Bytes VersionBlock() {
  const Node root{
      u"VS_VERSION_INFO",
      FixedInfo(),
      false,
      {Node{u"StringFileInfo",
            {},
            true,
            {Node{u"040904B0",
                  {},
                  true,
                  {Text(u"FileVersion", u"3, 0, 1, 16"), Text(u"ProductName", u"Removal Tool")}}}},
       Node{
           u"VarFileInfo", {}, true, {Node{u"Translation", {0x09, 0x04, 0xB0, 0x04}, false, {}}}}}};
  Bytes block;
  Append(block, root);
  return block;
}

// The value found at `path`, as text or as bytes in hexadecimal.
std::string Answer(const Bytes& block, std::u16string_view path) {
  const auto result = platform::QueryVersionBlock(block, path);
  switch (result.status) {
    case VersionQueryStatus::kInvalidBlock:
      return "invalid block";
    case VersionQueryStatus::kNotFound:
      return "not found";
    case VersionQueryStatus::kFound:
      break;
  }
  // Text values (below StringFileInfo) end in their zero; the others are
  // bytes.
  std::string out = std::to_string(result.valueLength) + ":";
  std::u16string lower(path);
  for (char16_t& c : lower) c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (result.valueLength > 0 && lower.find(u"stringfileinfo") != std::u16string::npos) {
    for (char16_t c : TextAt(block, result.offset, result.valueLength - 1u)) {
      out.push_back(static_cast<char>(c));
    }
    return out;
  }
  for (std::size_t i = 0; i < 4 && i < result.valueLength; ++i) {
    out += std::to_string(block[result.offset + i]) + " ";
  }
  return out;
}

TEST(VersionBlock, FindsValuesAlongPaths) {
  const Bytes block = VersionBlock();
  struct Case {
    std::u16string path;
    std::string answer;
  };
  const Case cases[] = {
      {u"\\", "52:189 4 239 254 "},
      {u"", "52:189 4 239 254 "},
      {u"\\VarFileInfo\\Translation", "4:9 4 176 4 "},
      {u"\\StringFileInfo\\040904B0\\FileVersion", "12:3, 0, 1, 16"},
      // Keys without regard to ASCII case; backslashes leading, doubled,
      // trailing or missing.
      {u"\\stringfileinfo\\040904b0\\PRODUCTNAME", "13:Removal Tool"},
      {u"StringFileInfo\\\\040904B0\\ProductName\\", "13:Removal Tool"},
      {u"\\StringFileInfo\\040904B0\\NoSuchValue", "not found"},
      {u"\\StringFileInfo\\0407", "not found"},
      {u"\\StringFileInfo\\040904B0\\FileVersion\\More", "not found"},
      {u"\\VarFileInfo\\Translatio", "not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(Answer(block, c.path), c.answer);
  }
}

TEST(VersionBlock, DamagedBlocks) {
  const Bytes good = VersionBlock();
  // Offsets in the good block: the root's key at 6; StringFileInfo's node
  // after the root's 52-byte value at 40.
  constexpr std::size_t kStringFileInfo = 92;
  ASSERT_EQ(TextAt(good, kStringFileInfo + 6, 14), u"StringFileInfo");
  struct Case {
    const char* what;
    void (*spoil)(Bytes&);
    std::u16string path;
    std::string answer;
  };
  const Case cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, u"\\", "invalid block"},
      {"header cut short", [](Bytes& b) { b.resize(5); }, u"\\", "invalid block"},
      {"root longer than the block", [](Bytes& b) { b.pop_back(); }, u"\\", "invalid block"},
      {"root key in lower case", [](Bytes& b) { PutUnitAt(b, 6, u'v'); }, u"\\", "invalid block"},
      {"root key without its zero",
       [](Bytes& b) {
         for (std::size_t at = 6; at < b.size(); at += 2) PutUnitAt(b, at, u'A');
       },
       u"\\", "invalid block"},
      {"root value past its end", [](Bytes& b) { PutUnitAt(b, 2, 0xFFFF); }, u"\\",
       "invalid block"},
      {"root length below its header", [](Bytes& b) { PutUnitAt(b, 0, 5); }, u"\\",
       "invalid block"},
      // A child cut short ends the search among its siblings.
      {"first child longer than its parent",
       [](Bytes& b) { PutUnitAt(b, kStringFileInfo, 0xFFF0); }, u"\\VarFileInfo\\Translation",
       "not found"},
      {"first child shorter than its header", [](Bytes& b) { PutUnitAt(b, kStringFileInfo, 4); },
       u"\\VarFileInfo\\Translation", "not found"},
      // Bytes after the root's length are not read.
      {"more bytes than the root holds", [](Bytes& b) { b.resize(b.size() + 64, 0xEE); },
       u"\\VarFileInfo\\Translation", "4:9 4 176 4 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes block = good;
    c.spoil(block);
    EXPECT_EQ(Answer(block, c.path), c.answer);
  }
  // No shorter block holds the root whole.
  for (std::size_t size = 0; size < good.size(); ++size) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(platform::QueryVersionBlock(cut, u"\\").status, VersionQueryStatus::kInvalidBlock)
        << size;
  }
}

}  // namespace
