// The setup executable's version resource (RT_VERSION 1, language neutral): what
// Explorer's Details tab and GetFileVersionInfoW read.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// What the resource says. Strings are UTF-16 code units; an empty optional one is left out.
struct VersionInfo {
  std::u16string product_name;       // ProductName
  std::u16string product_version;    // ProductVersion
  std::u16string file_description;   // FileDescription
  std::u16string company;            // CompanyName (optional)
  std::u16string copyright;          // LegalCopyright (optional)
  std::u16string original_filename;  // OriginalFilename: the setup's file name (optional)
  std::u16string internal_name;      // InternalName: that name without ".exe" (optional)
  uint16_t file_version[4] = {};     // the fixed file version, also the FileVersion string
  uint16_t product_numbers[4] = {};  // the fixed product version
};

// The VS_VERSIONINFO block of `info`, with one string table for language 0 (neutral) and
// the Unicode code page, and the translation that names it.
std::vector<uint8_t> VersionResource(const VersionInfo& info);

// The setup's file name as OriginalFilename gives it, and the InternalName that goes with
// it (the name without its ".exe"), from the output path `path` (UTF-8; a name that is not
// UTF-8 is read as Windows-1252).
void SetFileNames(const std::string& path, VersionInfo* info);

// The leading numbers of a version text: "2.5.1 beta" gives 2, 5, 1, 0. Reading stops at
// the first part that is not a number of 0-65535; missing parts are 0.
void LeadingVersionNumbers(const std::string& text, uint16_t numbers[4]);

// Reads "a.b.c.d" (one to four numbers of 0-65535; numbers left out count as 0). Returns
// false when `text` is anything else.
bool ParseFileVersion(const std::string& text, uint16_t numbers[4]);
