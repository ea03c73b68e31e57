#include "packer/core/text_encoding.h"

#include <stdio.h>

namespace {

// Code points of the bytes 0x80..0x9F; 0 where Windows-1252 assigns nothing.
const char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

bool DecodeUtf8(const std::string& text, std::u32string* code_points) {
  code_points->clear();
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = (uint8_t)text[i];
    int extra;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
      extra = 0, value = lead, minimum = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i <= (size_t)extra) return false;
    for (int k = 1; k <= extra; ++k) {
      uint8_t next = (uint8_t)text[i + k];
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    code_points->push_back(value);
    i += 1 + extra;
  }
  return true;
}

std::string EncodeUtf8(const std::u32string& code_points) {
  std::string out;
  for (char32_t c : code_points) {
    if (c < 0x80) {
      out += (char)c;
    } else if (c < 0x800) {
      out += (char)(0xC0 | (c >> 6));
      out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += (char)(0xE0 | (c >> 12));
      out += (char)(0x80 | ((c >> 6) & 0x3F));
      out += (char)(0x80 | (c & 0x3F));
    } else {
      out += (char)(0xF0 | (c >> 18));
      out += (char)(0x80 | ((c >> 12) & 0x3F));
      out += (char)(0x80 | ((c >> 6) & 0x3F));
      out += (char)(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string EncodeUtf16(const std::u32string& code_points) {
  std::u16string out;
  for (char32_t c : code_points) {
    if (c < 0x10000) {
      out += (char16_t)c;
    } else {
      c -= 0x10000;
      out += (char16_t)(0xD800 | (c >> 10));
      out += (char16_t)(0xDC00 | (c & 0x3FF));
    }
  }
  return out;
}

bool Windows1252Byte(char32_t code_point, uint8_t* byte) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    *byte = (uint8_t)code_point;
    return true;
  }
  for (int k = 0; k < 32; ++k) {
    if (kHighControls[k] != 0 && kHighControls[k] == code_point) {
      *byte = (uint8_t)(0x80 + k);
      return true;
    }
  }
  return false;
}

char32_t Windows1252CodePoint(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80] != 0) {
    return kHighControls[byte - 0x80];
  }
  return byte;
}

std::string Utf16ToUtf8(const std::u16string& units) {
  std::u32string code_points;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    code_points.push_back(c);
  }
  return EncodeUtf8(code_points);
}

namespace {

bool IsHiddenControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string EscapeControls(const std::string& utf8) {
  std::u32string code_points;
  if (!DecodeUtf8(utf8, &code_points)) return utf8;
  std::string text;
  std::u32string run;
  for (char32_t c : code_points) {
    if (!IsHiddenControl(c)) {
      run += c;
      continue;
    }
    char escaped[16];
    snprintf(escaped, sizeof(escaped), "<U+%04X>", (unsigned)c);
    text += EncodeUtf8(run) + escaped;
    run.clear();
  }
  return text + EncodeUtf8(run);
}
