#include "packer/package_listing.h"

#include <windows.h>
#include <stdio.h>

#include "common/bounded_text.h"
#include "package/package_reader.h"
#include "packer/console.h"

namespace {

uint32_t Uint32At(const BYTE* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// A header string field (terminated inside the field: the header check made sure).
std::string HeaderString(const BYTE* field) {
  std::wstring text;
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    wchar_t c = (wchar_t)(field[2 * unit] | (field[2 * unit + 1] << 8));
    if (c == 0) break;
    text += c;
  }
  return Utf8(text);
}

std::string Malformed(const std::wstring& setup, const char* what, size_t offset) {
  return Utf8(setup) + ": the package is malformed: " + what + " at offset " +
         std::to_string(offset) + "\n";
}

// Lists the package at `resource` (`size` bytes). Returns the exit code.
int ListBytes(const std::wstring& setup, const BYTE* resource, DWORD size) {
  std::string out = "package: " + std::to_string(size) + " bytes\n";
  if (!IsPackageHeaderSound(resource, size)) {
    PrintOut(out);
    PrintError(Utf8(setup) + ": the package header is malformed (too short, header_size " +
               "beyond the package, or a string without terminator)\n");
    return 1;
  }
  const char* const option_names[] = {"allow_run_once",  "log_executables",
                                      "default_desktop", "default_startup",
                                      "default_programs", "default_launch"};
  out += "header_size: " + std::to_string(Uint32At(resource)) + "\n";
  out += "product_name: " + HeaderString(resource + kProductNameOffset) + "\n";
  out += "product_version: " + HeaderString(resource + kProductVersionOffset) + "\n";
  out += "window_class: " + HeaderString(resource + kWindowClassOffset) + "\n";
  for (int k = 0; k < 6; ++k) {
    out += std::string(option_names[k]) + ": " +
           std::to_string(resource[kAllowRunOnceOffset + k]) + "\n";
  }

  const BYTE* end = resource + size;
  const BYTE* p = resource + Uint32At(resource);
  std::string folders;
  int folder_count = 0;
  for (;;) {
    const char* name;
    unsigned length;
    const BYTE* next;
    PackageReadResult result = ParseFolderName(p, end, &name, &length, &next);
    if (result == PACKAGE_READ_MALFORMED) {
      PrintOut(out + "folders:\n" + folders);
      PrintError(Malformed(setup, "a folder name runs past the end", p - resource));
      return 1;
    }
    p = next;
    if (result == PACKAGE_READ_END) break;
    wchar_t wide[kFolderNameMaxBytes + 1];
    int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, length, wide,
                                    kFolderNameMaxBytes);
    folders += "  " + Utf8(std::wstring(wide, units > 0 ? units : 0)) + "\n";
    ++folder_count;
  }
  out += "folders: " + std::to_string(folder_count) + "\n" + folders;

  std::string entries;
  int entry_count = 0;
  for (;;) {
    wchar_t name[kPathCapacity];
    const BYTE* data;
    DWORD entry_size, flags;
    const BYTE* next;
    PackageReadResult result =
        ParseEntry(p, end, name, kPathCapacity, &data, &entry_size, &flags, &next);
    if (result == PACKAGE_READ_MALFORMED) {
      PrintOut(out + "entries:\n" + entries);
      PrintError(Malformed(setup, "an entry record is cut short or its name is too long",
                           p - resource));
      return 1;
    }
    if (result == PACKAGE_READ_END) break;
    char columns[64];
    snprintf(columns, sizeof(columns), "  %10lu  %-40s  ", (unsigned long)entry_size,
             FlagNames((uint16_t)flags).c_str());
    entries += columns + Utf8(name) + "\n";
    ++entry_count;
    p = next;
  }
  out += "entries: " + std::to_string(entry_count) + "\n";
  if (entry_count > 0) out += "        size  flags                                     name\n";
  out += entries;
  size_t marker = p - resource;
  out += "end marker: offset " + std::to_string(marker) + "\n";
  PrintOut(out);
  if (marker + 2 != size) {
    PrintError(Utf8(setup) + ": warning: " + std::to_string(size - marker - 2) +
               " bytes follow the end marker\n");
  }
  return 0;
}

}  // namespace

std::string FlagNames(uint16_t flags) {
  if (flags == ENTRY_UNINSTALLER) return "uninstaller";
  if (flags == 0) return "-";
  const struct {
    uint16_t bit;
    const char* name;
  } names[] = {{ENTRY_DESKTOP_SHORTCUT, "desktop"}, {ENTRY_STARTUP_SHORTCUT, "startup"},
               {ENTRY_PROGRAMS_SHORTCUT, "programs"}, {ENTRY_LICENSE_DOCUMENT, "license"},
               {ENTRY_LAUNCH, "launch"}};
  std::string text;
  uint16_t rest = flags;
  for (const auto& name : names) {
    if (flags & name.bit) {
      text += (text.empty() ? "" : " ") + std::string(name.name);
      rest &= (uint16_t)~name.bit;
    }
  }
  if (rest != 0) {
    char hex[8];
    snprintf(hex, sizeof(hex), "0x%04x", rest);
    text += (text.empty() ? "" : " ") + std::string(hex);
  }
  return text;
}

int ListPackage(const std::wstring& setup) {
  HMODULE module = LoadLibraryExW(setup.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (module == NULL) {
    PrintError(Utf8(setup) + ": cannot open it as a program (error " +
               std::to_string(GetLastError()) + ")\n");
    return 1;
  }
  int code = 1;
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kPackageResourceId), (LPCWSTR)RT_RCDATA);
  HGLOBAL loaded = info != NULL ? LoadResource(module, info) : NULL;
  const BYTE* resource = loaded != NULL ? (const BYTE*)LockResource(loaded) : NULL;
  if (resource == NULL) {
    PrintError(Utf8(setup) + ": no package (resource RT_RCDATA 9999) in it\n");
  } else {
    code = ListBytes(setup, resource, SizeofResource(module, info));
  }
  FreeLibrary(module);
  return code;
}
