#include "base/codepage.h"

#include <array>
#include <cstdint>

#include "platform/platform.h"

namespace {

// Unicode of the Windows-1252 codes 0x80..0x9F; the five unassigned codes
// stand for the C1 control of the same number.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the character at `pos`; returns the number of bytes it takes.
// A broken sequence gives kInvalid and takes one byte.
std::size_t Decode(const std::string& s, std::size_t pos, char32_t& cp) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t value;
  char32_t minimum;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    value = b0 & 0x1F;
    minimum = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    value = b0 & 0x0F;
    minimum = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    value = b0 & 0x07;
    minimum = 0x10000;
  } else {
    cp = kInvalid;
    return 1;
  }
  if (pos + len > s.size()) {
    cp = kInvalid;
    return 1;
  }
  for (std::size_t i = 1; i < len; ++i) {
    unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) {
      cp = kInvalid;
      return 1;
    }
    value = (value << 6) | (b & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    cp = kInvalid;
    return 1;
  }
  cp = value;
  return len;
}

void Encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The Windows-1252 byte of a character, or -1 when it has none.
int ToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == cp) return static_cast<int>(0x80 + i);
  return -1;
}

char32_t FromByte(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b; }

char32_t UpperChar(char32_t cp) {
  if (cp >= U'a' && cp <= U'z') return cp - 0x20;
  // à..þ without ÷ (0xF7); ß (0xDF) has no single upper-case letter.
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 0x20;
  switch (cp) {
    case 0x0161:
      return 0x0160;  // š
    case 0x0153:
      return 0x0152;  // œ
    case 0x017E:
      return 0x017D;  // ž
    case 0x00FF:
      return 0x0178;  // ÿ
    default:
      return cp;
  }
}

}  // namespace

namespace cp1252 {

std::string FromUtf8(const std::string& utf8, bool* lossless) {
  std::string out;
  out.reserve(utf8.size());
  bool all = true;
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t cp;
    pos += Decode(utf8, pos, cp);
    int b = cp == kInvalid ? -1 : ToByte(cp);
    if (b < 0) {
      all = false;
      out += '?';
    } else {
      out += static_cast<char>(b);
    }
  }
  if (lossless) *lossless = all;
  return out;
}

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// True when the text at `pos` (a "[") reads like one of the marks that
// FromUtf8Visible writes: "[x" or "[U+", hex digits, "]".
bool LooksLikeMark(const std::string& s, std::size_t pos) {
  std::size_t i = pos + 1;
  if (s.compare(i, 2, "U+") == 0)
    i += 2;
  else if (i < s.size() && s[i] == 'x')
    i += 1;
  else
    return false;
  const std::size_t digits = i;
  while (i < s.size() && IsHexDigit(s[i])) ++i;
  return i > digits && i < s.size() && s[i] == ']';
}

std::string Hex(std::uint32_t value, int width) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 15];
  return out;
}

}  // namespace

std::string FromUtf8Visible(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t cp;
    const std::size_t start = pos;
    pos += Decode(utf8, pos, cp);
    if (cp == kInvalid) {
      out += "[x" + Hex(static_cast<unsigned char>(utf8[start]), 2) + "]";
      continue;
    }
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
      out += "[x" + Hex(cp, 2) + "]";
      continue;
    }
    if (cp == '[' && LooksLikeMark(utf8, start)) {
      out += "[x5B]";  // a name that holds such a text itself
      continue;
    }
    const int b = ToByte(cp);
    if (b < 0)
      out += "[U+" + Hex(cp, cp > 0xFFFF ? 6 : 4) + "]";
    else
      out += static_cast<char>(b);
  }
  return out;
}

std::string ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) Encode(FromByte(static_cast<unsigned char>(c)), out);
  return out;
}

bool IsRepresentable(const std::string& utf8) {
  bool lossless = false;
  FromUtf8(utf8, &lossless);
  return lossless;
}

}  // namespace cp1252

namespace text {

std::size_t Length(const std::string& utf8) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < utf8.size(); ++n) {
    char32_t cp;
    pos += Decode(utf8, pos, cp);
  }
  return n;
}

namespace {
// Byte offset of the character with index n (the size when beyond the end).
std::size_t ByteOffset(const std::string& utf8, std::size_t n) {
  std::size_t pos = 0;
  for (; pos < utf8.size() && n > 0; --n) {
    char32_t cp;
    pos += Decode(utf8, pos, cp);
  }
  return pos;
}
}  // namespace

std::string Left(const std::string& utf8, std::size_t n) {
  return utf8.substr(0, ByteOffset(utf8, n));
}

std::string Mid(const std::string& utf8, std::size_t from) {
  return utf8.substr(ByteOffset(utf8, from));
}

std::string Upper(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t cp;
    std::size_t len = Decode(utf8, pos, cp);
    if (cp == kInvalid)
      out += utf8[pos];  // a broken byte stays as it is
    else
      Encode(UpperChar(cp), out);
    pos += len;
  }
  return out;
}

std::string Trim(const std::string& s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

}  // namespace text

namespace textfile {

Stored ReadStoredLines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  if (!platform::PathExists(path)) return Stored::Missing;
  int code = 0;
  if (ReadLines(path, lines, &code)) return Stored::Loaded;
  return code == platform::kErrFileNotFound ? Stored::Missing : Stored::Unreadable;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines, int* errorCode) {
  lines.clear();
  std::string bytes;
  int code = 0;
  if (!platform::ReadWholeFile(path, bytes, &code)) {
    if (!platform::PathExists(path)) code = platform::kErrFileNotFound;
    if (code == 0) code = platform::kErrAccessDenied;
    if (errorCode) *errorCode = code;
    return false;
  }
  std::string line;
  bool pending = false;  // characters since the last line end
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cp1252::ToUtf8(line));
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(cp1252::ToUtf8(line));
  if (errorCode) *errorCode = 0;
  return true;
}

namespace {

int WriteConverted(const std::string& path, const std::vector<std::string>& lines,
                   std::string (*convert)(const std::string&)) {
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += convert(line);
    bytes += "\r\n";
  }
  return platform::WriteFileAtomic(path, bytes);
}

std::string Plain(const std::string& utf8) { return cp1252::FromUtf8(utf8); }

}  // namespace

int WriteLinesVisible(const std::string& path, const std::vector<std::string>& lines) {
  return WriteConverted(path, lines, cp1252::FromUtf8Visible);
}

int WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  return WriteConverted(path, lines, Plain);
}

}  // namespace textfile
