#include "packer/target_names.h"

#include <stdio.h>

#include "packer/text_encoding.h"

namespace {

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string CodePointText(char32_t c) {
  char text[16];
  snprintf(text, sizeof(text), "U+%04X", (unsigned)c);
  return text;
}

// Names that Windows keeps for devices, with or without an extension.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string CheckTargetName(const std::string& utf8, const char* noun, std::string* ansi) {
  std::string quoted = std::string(noun) + " " + Quote(utf8);
  std::u32string code_points;
  if (!DecodeUtf8(utf8, &code_points)) return quoted + " is not valid UTF-8";
  if (code_points.empty()) return std::string("the ") + noun + " is empty";
  if (code_points[0] == '\\' || code_points[0] == '/' ||
      (code_points.size() >= 2 && code_points[1] == ':' &&
       ((code_points[0] >= 'A' && code_points[0] <= 'Z') ||
        (code_points[0] >= 'a' && code_points[0] <= 'z')))) {
    return quoted + " is an absolute path; it must be relative to the installation folder";
  }
  std::string bytes;
  for (char32_t c : code_points) {
    if (c == '/') {
      return quoted + " contains \"/\"; separate folders with backslashes";
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      return quoted + " contains the control character " + CodePointText(c);
    }
    if (c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*') {
      return quoted + " contains \"" + std::string(1, (char)c) +
             "\", which Windows forbids in file names";
    }
    uint8_t byte;
    if (!Windows1252Byte(c, &byte)) {
      return quoted + " contains " + CodePointText(c) +
             ", which the Windows-1252 code page cannot store";
    }
    bytes += (char)byte;
  }

  size_t start = 0;
  for (;;) {
    size_t stop = bytes.find('\\', start);
    std::string component = bytes.substr(start, stop == std::string::npos ? std::string::npos
                                                                          : stop - start);
    if (component.empty()) {
      return stop == std::string::npos
                 ? quoted + " ends with a backslash"
                 : quoted + " has an empty folder name (two backslashes in a row)";
    }
    if (component == "..") return quoted + " leaves the installation folder (\"..\")";
    if (component == ".") return quoted + " has a \".\" folder name";
    if (component.back() == '.' || component.back() == ' ') {
      return quoted + " has the name " + Quote(AnsiToUtf8(component)) +
             ", which ends in a dot or a space";
    }
    if (IsDeviceName(component)) {
      return quoted + " uses " + Quote(AnsiToUtf8(component.substr(0, component.find('.')))) +
             ", a name Windows keeps for a device";
    }
    if (stop == std::string::npos) break;
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
