// Registering the installation in Windows' list of installed programs.
#pragma once

// Fatal text of every failing registry call.
#define REGISTRY_FAILED_MESSAGE L"Could not write uninstall info to registry"

// The maker's web address shown by the list of installed programs.
#define PUBLISHER_URL L"https://www.example.com/"

// Creates (or opens) the product's key below HKEY_LOCAL_MACHINE, writes UninstallString
// (`uninstaller_path` in double quotes), DisplayName, Publisher and URLInfoAbout, and writes the
// "R" record naming the subkey. Any failing registry call is fatal.
void RegisterUninstaller(const wchar_t* uninstaller_path);
