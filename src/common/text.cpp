#include "common/text.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <utility>

namespace text {
namespace {

struct Spec {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  int width = 0;
  int precision = -1;
};

void Pad(std::u16string& out, std::u16string_view body, const Spec& spec, bool numeric) {
  const std::size_t width = static_cast<std::size_t>(spec.width);
  if (body.size() >= width) {
    out += body;
    return;
  }
  const std::size_t fill = width - body.size();
  if (spec.left) {
    out += body;
    out.append(fill, u' ');
  } else if (spec.zero && numeric) {
    // Zeros go after the sign.
    std::size_t sign = (!body.empty() && (body[0] == u'-' || body[0] == u'+' || body[0] == u' '));
    out += body.substr(0, sign);
    out.append(fill, u'0');
    out += body.substr(sign);
  } else {
    out.append(fill, u' ');
    out += body;
  }
}

std::u16string Digits(std::uint64_t value, unsigned base, bool upper) {
  const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string reversed;
  do {
    reversed.push_back(digits[value % base]);
    value /= base;
  } while (value != 0);
  return std::u16string(reversed.rbegin(), reversed.rend());
}

std::u16string Signed(std::int64_t value, const Spec& spec) {
  std::u16string body;
  if (value < 0) {
    body = u"-";
  } else if (spec.plus) {
    body = u"+";
  } else if (spec.space) {
    body = u" ";
  }
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::u16string digits = Digits(magnitude, 10, false);
  if (spec.precision > static_cast<int>(digits.size())) {
    digits.insert(0, static_cast<std::size_t>(spec.precision) - digits.size(), u'0');
  }
  return body + digits;
}

std::u16string Fixed(double value, const Spec& spec) {
  if (std::isnan(value)) return u"nan";
  if (std::isinf(value)) return value < 0 ? u"-inf" : u"inf";
  const int precision = spec.precision < 0 ? 6 : spec.precision;
  char format[16];
  std::snprintf(format, sizeof format, "%%%s%s.%df", spec.plus ? "+" : "", spec.space ? " " : "",
                precision);
  const int needed = std::snprintf(nullptr, 0, format, value);
  std::string narrow(static_cast<std::size_t>(needed) + 1, '\0');
  std::snprintf(narrow.data(), narrow.size(), format, value);
  narrow.resize(static_cast<std::size_t>(needed));
  return FromAscii(narrow);
}

}  // namespace

std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  out.reserve(format.size() + 16);
  auto next = args.begin();
  std::size_t i = 0;
  while (i < format.size()) {
    const char16_t c = format[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t start = i++;
    if (i < format.size() && format[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    Spec spec;
    for (; i < format.size(); ++i) {
      const char16_t f = format[i];
      if (f == u'-') {
        spec.left = true;
      } else if (f == u'0') {
        spec.zero = true;
      } else if (f == u'+') {
        spec.plus = true;
      } else if (f == u' ') {
        spec.space = true;
      } else {
        break;
      }
    }
    for (; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) {
      spec.width = spec.width < 10000 ? spec.width * 10 + (format[i] - u'0') : spec.width;
    }
    if (i < format.size() && format[i] == u'.') {
      spec.precision = 0;
      for (++i; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) {
        spec.precision = spec.precision < 10000 ? spec.precision * 10 + (format[i] - u'0') : 10000;
      }
    }
    if (i >= format.size()) {
      out += format.substr(start);
      break;
    }
    const char16_t conversion = format[i++];
    const FormatArg* arg = next != args.end() ? next : nullptr;
    auto integer = [&]() -> const std::int64_t* {
      return arg ? std::get_if<std::int64_t>(&arg->value()) : nullptr;
    };
    switch (conversion) {
      case u's': {
        if (arg) ++next;
        const auto* s = arg ? std::get_if<std::u16string_view>(&arg->value()) : nullptr;
        if (!s) break;
        std::u16string_view body = *s;
        if (spec.precision >= 0 && body.size() > static_cast<std::size_t>(spec.precision)) {
          body = body.substr(0, static_cast<std::size_t>(spec.precision));
        }
        Pad(out, body, spec, false);
        break;
      }
      case u'd':
      case u'i': {
        if (arg) ++next;
        if (const auto* v = integer()) Pad(out, Signed(*v, spec), spec, spec.precision < 0);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        if (arg) ++next;
        if (const auto* v = integer()) {
          const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(*v));
          std::u16string body = Digits(low, conversion == u'u' ? 10 : 16, conversion == u'X');
          if (spec.precision > static_cast<int>(body.size())) {
            body.insert(0, static_cast<std::size_t>(spec.precision) - body.size(), u'0');
          }
          Pad(out, body, spec, spec.precision < 0);
        }
        break;
      }
      case u'f': {
        if (arg) ++next;
        if (!arg) break;
        double v = 0;
        if (const auto* d = std::get_if<double>(&arg->value())) {
          v = *d;
        } else if (const auto* n = std::get_if<std::int64_t>(&arg->value())) {
          v = static_cast<double>(*n);
        } else {
          break;
        }
        Pad(out, Fixed(v, spec), spec, std::isfinite(v));
        break;
      }
      case u'c': {
        if (arg) ++next;
        if (const auto* v = integer()) {
          Pad(out, std::u16string(1, static_cast<char16_t>(*v)), spec, false);
        }
        break;
      }
      default:
        out += format.substr(start, i - start);
        break;
    }
  }
  return out;
}

namespace {

// The living mappings, newest last (made and ended on one thread), and the
// table in force: the newest's, or null for the built-in folding.
std::vector<const std::u16string*> mappings;
std::atomic<const char16_t*> installedUpper{nullptr};

void InstallNewest() {
  installedUpper.store(mappings.empty() ? nullptr : mappings.back()->data(),
                       std::memory_order_release);
}

char16_t BuiltInUpper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  return c;
}

}  // namespace

CaseMapping::CaseMapping(std::u16string table) : table_(std::move(table)) {
  if (table_.size() != kCaseTableSize) return;
  for (char16_t c = u'A'; c <= u'Z'; ++c) table_[c] = c;
  for (char16_t c = u'a'; c <= u'z'; ++c) table_[c] = static_cast<char16_t>(c - 32);
  mappings.push_back(&table_);
  InstallNewest();
}

CaseMapping::~CaseMapping() {
  std::erase(mappings, &table_);
  InstallNewest();
}

char16_t ToUpper(char16_t c) {
  if (const char16_t* table = installedUpper.load(std::memory_order_acquire)) return table[c];
  return BuiltInUpper(c);
}

char16_t ToLower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c == 0x178) return 0xFF;
  return c;
}

std::u16string ToUpper(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = ToUpper(c);
  return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToUpper(a[i]) != ToUpper(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::u16string_view s, std::u16string_view suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::size_t FindNoCase(std::u16string_view s, std::u16string_view needle, std::size_t from) {
  if (needle.size() > s.size()) return std::u16string_view::npos;
  for (std::size_t i = from; i + needle.size() <= s.size(); ++i) {
    if (EqualsNoCase(s.substr(i, needle.size()), needle)) return i;
  }
  return std::u16string_view::npos;
}

std::u16string FromAscii(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

std::u16string FromUtf8(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0xFFFD;
    std::size_t length = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b >> 5) == 6 && i + 1 < utf8.size()) {
      cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      length = 2;
    } else if ((b >> 4) == 14 && i + 2 < utf8.size()) {
      cp = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
      length = 3;
    } else if ((b >> 3) == 30 && i + 3 < utf8.size()) {
      cp = ((b & 0x07u) << 18) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(utf8[i + 3]) & 0x3Fu);
      length = 4;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

void AppendUtf16Le(std::vector<std::uint8_t>& bytes, std::u16string_view s) {
  for (const char16_t c : s) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

}  // namespace text
