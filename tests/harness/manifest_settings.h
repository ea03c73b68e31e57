// The application manifest of a program (resource RT_MANIFEST 1) as the platform's
// side-by-side loader reads it: an activation context made from the program's manifest and
// asked for one setting of its <windowsSettings> (dpiAware, dpiAwareness, ...).
#pragma once

#include <string>

// Namespaces of the windowsSettings elements.
extern const wchar_t kWindowsSettings2005[];  // dpiAware
extern const wchar_t kWindowsSettings2016[];  // dpiAwareness

struct ManifestSetting {
  bool manifest_read = false;  // the loader made an activation context from the manifest
  bool found = false;          // the manifest holds the setting
  std::wstring value;
};

// The setting `name` in namespace `settings_namespace` of the manifest of program `path`.
ManifestSetting ReadManifestSetting(const std::wstring& path, const wchar_t* settings_namespace,
                                    const wchar_t* name);
