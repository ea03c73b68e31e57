#include "packer/core/target_names.h"

#include <stdio.h>

#include "packer/core/message_text.h"
#include "packer/core/text_encoding.h"

namespace {

std::string CodePointText(char32_t c) {
  char text[16];
  snprintf(text, sizeof(text), "U+%04X", (unsigned)c);
  return text;
}

}  // namespace

bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  // Windows takes the Windows-1252 superscripts one, two and three for digits here too.
  uint8_t last = (uint8_t)base[3];
  return (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
}

bool IsShortNameOf(const std::string& key, const std::string& long_name) {
  size_t key_dot = key.rfind('.'), long_dot = long_name.rfind('.');
  if (key_dot == std::string::npos || long_dot == std::string::npos ||
      key.substr(key_dot) != long_name.substr(long_dot)) {
    return false;
  }
  std::string base = key.substr(0, key_dot), long_base = long_name.substr(0, long_dot);
  size_t tilde = base.rfind('~');
  if (tilde == std::string::npos || tilde == 0 || tilde + 1 == base.size() || base.size() > 8) {
    return false;
  }
  for (size_t k = tilde + 1; k < base.size(); ++k) {
    if (base[k] < '0' || base[k] > '9') return false;
  }
  std::string stem = base.substr(0, tilde);
  if (long_base.compare(0, stem.size(), stem) == 0) return true;
  // The hashed form: two letters of the long name, then four hexadecimal digits.
  if (stem.size() != 6 || long_base.compare(0, 2, stem, 0, 2) != 0) return false;
  for (size_t k = 2; k < 6; ++k) {
    if (!((stem[k] >= '0' && stem[k] <= '9') || (stem[k] >= 'a' && stem[k] <= 'f'))) return false;
  }
  return true;
}

namespace {

bool IsAbsolute(const std::u32string& code_points) {
  if (code_points[0] == '\\' || code_points[0] == '/') return true;
  char32_t drive = code_points[0] | 0x20;
  return code_points.size() >= 2 && code_points[1] == ':' && drive >= 'a' && drive <= 'z';
}

// Why the character `c` cannot stand in a target name, "" when it can; its Windows-1252
// byte goes to `*byte`.
std::string CharacterProblem(char32_t c, uint8_t* byte) {
  if (c == '/') return " contains \"/\"; separate folders with backslashes";
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
    return " contains the control character " + CodePointText(c);
  }
  if (c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*') {
    return " contains \"" + std::string(1, (char)c) + "\", which Windows forbids in file names";
  }
  if (!Windows1252Byte(c, byte)) {
    return " contains " + CodePointText(c) + ", which the Windows-1252 code page cannot store";
  }
  return "";
}

// Why the folder or file name `component` (Windows-1252) cannot stand in a target name,
// "" when it can; `last` tells whether it ends the name.
std::string ComponentProblem(const std::string& component, bool last) {
  if (component.empty()) {
    return last ? " ends with a backslash" : " has an empty folder name (two backslashes in a row)";
  }
  if (component == "..") return " leaves the installation folder (\"..\")";
  if (component == ".") return " has a \".\" folder name";
  if (component.back() == '.' || component.back() == ' ') {
    return " has the name " + Quote(AnsiToUtf8(component)) + ", which ends in a dot or a space";
  }
  if (IsDeviceName(component)) {
    return " uses " + Quote(AnsiToUtf8(component.substr(0, component.find('.')))) +
           ", a name Windows keeps for a device";
  }
  return "";
}

}  // namespace

std::string CheckTargetName(const std::string& utf8, const char* noun, std::string* ansi) {
  std::string quoted = std::string(noun) + " " + Quote(utf8);
  std::u32string code_points;
  if (!DecodeUtf8(utf8, &code_points)) return quoted + " is not valid UTF-8";
  if (code_points.empty()) return std::string("the ") + noun + " is empty";
  if (IsAbsolute(code_points)) {
    return quoted + " is an absolute path; it must be relative to the installation folder";
  }
  std::string bytes;
  for (char32_t c : code_points) {
    uint8_t byte = 0;
    std::string problem = CharacterProblem(c, &byte);
    if (!problem.empty()) return quoted + problem;
    bytes += (char)byte;
  }
  for (size_t start = 0;;) {
    size_t stop = bytes.find('\\', start);
    bool last = stop == std::string::npos;
    std::string problem =
        ComponentProblem(bytes.substr(start, last ? std::string::npos : stop - start), last);
    if (!problem.empty()) return quoted + problem;
    if (last) break;
    start = stop + 1;
  }
  if (bytes.size() > kTargetMaxBytes) {
    return quoted + " is " + std::to_string(bytes.size()) + " bytes long; at most " +
           std::to_string(kTargetMaxBytes) + " fit the installer's path buffers";
  }
  *ansi = bytes;
  return "";
}

std::string NameKey(const std::string& ansi) {
  std::string key = ansi;
  for (char& c : key) {
    uint8_t byte = (uint8_t)c;
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) {
      byte = (uint8_t)(byte + 0x20);
    } else if (byte == 0x8A || byte == 0x8C || byte == 0x8E) {
      byte = (uint8_t)(byte + 0x10);
    } else if (byte == 0x9F) {
      byte = 0xFF;
    }
    c = (char)byte;
  }
  return key;
}

std::string AnsiToUtf8(const std::string& ansi) {
  std::u32string code_points;
  for (char c : ansi) code_points.push_back(Windows1252CodePoint((uint8_t)c));
  return EncodeUtf8(code_points);
}
