// The licence document: extracted once per run into a private folder below the temporary
// folder, opened in the ".htm" viewer, deleted with its folder when the dialog goes.
#pragma once

#include <windows.h>

// Command IDC_SHOW_LICENSE. On the first use writes the package's first licence document
// to a unique "koz....tmp.htm" file in a new private folder (common/private_folder.h),
// held open until the dialog goes, and records it in g_setup_options.license_temp_path;
// then asks the shell to open that file maximised. Nothing is written or opened when the
// package has none, when no private folder or unique name can be made or the name does
// not fit with ".htm", or when the file cannot be written whole.
void LicenseViewer(HWND dialog);

// Deletes the extracted licence document, if any (at WM_DESTROY), with the empty file
// that reserved its name and their private folder.
void RemoveExtractedLicense();
