// The licence document: extracted once per run to the temporary folder, opened in the
// ".htm" viewer, deleted when the dialog goes.
#pragma once

#include <windows.h>

// Command IDC_SHOW_LICENSE. On the first use writes the package's first licence document
// to a unique "koz....htm" file in the temporary folder and records it in
// g_setup_options.license_temp_path; then asks the shell to open that file maximised.
// Nothing is written or opened when the package has none, when no unique temporary name
// can be made or does not fit with ".htm", or when the file cannot be written whole.
void LicenseViewer(HWND dialog);

// Deletes the extracted licence document, if any (at WM_DESTROY). The empty file that
// reserved its name stays.
void RemoveExtractedLicense();
