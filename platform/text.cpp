#include "platform/text.hpp"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at `pos`, or nothing.
std::optional<std::pair<char32_t, std::size_t>> decode_at(std::string_view text, std::size_t pos) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) return std::pair{char32_t{b0}, std::size_t{1}};
  std::size_t length;
  char32_t cp;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return std::nullopt;
  }
  if (pos + length > text.size()) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if (!is_continuation(b)) return std::nullopt;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return std::pair{cp, length};
}

}  // namespace

char32_t next_code_point(std::string_view text, std::size_t& pos) {
  if (auto decoded = decode_at(text, pos)) {
    pos += decoded->second;
    return decoded->first;
  }
  pos += 1;
  return kReplacement;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
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

std::string quote_code_points(std::string_view text, EscapeFn escape) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = next_code_point(text, pos);
    if (!escape(out, cp)) append_utf8(out, cp);
  }
  out.push_back('"');
  return out;
}

bool is_valid_utf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto decoded = decode_at(text, pos);
    if (!decoded) return false;
    pos += decoded->second;
  }
  return true;
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (auto decoded = decode_at(bytes, pos)) {
      out.append(bytes.substr(pos, decoded->second));
      pos += decoded->second;
      continue;
    }
    // One U+FFFD for the longest prefix of a valid sequence (the maximal
    // subpart), as Windows and most decoders do.
    std::size_t skip = 1;
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    std::size_t expected = b0 >= 0xF0 && b0 <= 0xF4 ? 4 : b0 >= 0xE0 && b0 <= 0xEF ? 3 : b0 >= 0xC2 && b0 <= 0xDF ? 2 : 1;
    while (skip < expected && pos + skip < bytes.size() &&
           is_continuation(static_cast<unsigned char>(bytes[pos + skip]))) {
      const auto b1 = static_cast<unsigned char>(bytes[pos + 1]);
      if (skip == 1 && ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 > 0x9F) ||
                        (b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 > 0x8F)))
        break;
      ++skip;
    }
    append_utf8(out, kReplacement);
    pos += skip;
  }
  return out;
}

std::u16string to_wide(std::string_view bytes) {
  // Invalid sequences are replaced the way utf8_lossy does, so both
  // conversions agree on what a broken text says.
  const std::string utf8 = utf8_lossy(bytes);
  std::u16string out;
  out.reserve(utf8.size() + 1);
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp = next_code_point(utf8, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  out.push_back(u'\0');
  return out;
}

std::string from_wide(std::u16string_view utf16) {
  if (!utf16.empty() && utf16.back() == u'\0') utf16.remove_suffix(1);
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      unit = kReplacement;
    }
    append_utf8(out, unit);
  }
  return out;
}

bool is_unicode_whitespace(char32_t cp) {
  switch (cp) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
    case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

std::string_view trim_unicode(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    if (!is_unicode_whitespace(next_code_point(text, next))) break;
    begin = next;
  }
  std::size_t end = begin;
  std::size_t pos = begin;
  while (pos < text.size()) {
    const bool space = is_unicode_whitespace(next_code_point(text, pos));
    if (!space) end = pos;
  }
  return text.substr(begin, end - begin);
}

std::string ascii_lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ascii_lower(c);
  return lower;
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

}  // namespace platform
