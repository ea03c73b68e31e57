// The install run without the dialog: install_probe.exe copies carrying a package install
// into a given folder with the options given on their command line, answering the message
// boxes of the run.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "harness/message_boxes.h"
#include "harness/package_builder.h"

// The box that ends a successful Normal install.
extern const wchar_t kSuccessCaption[];  // "Setup complete"
extern const wchar_t kSuccessText[];     // "The application has been installed successfully."

// Builds a copy of install_probe.exe carrying `package` in `scratch_folder` and returns its
// path (empty, with a test failure, when it cannot).
std::wstring BuildProbeInstaller(const std::wstring& scratch_folder,
                                 const std::vector<uint8_t>& package);

// The command line that installs into `install_dir` with `options` (e.g. L"/desktop
// /programs", L"/runonce /launch").
std::wstring ProbeCommand(const std::wstring& installer, const std::wstring& install_dir,
                          const std::wstring& options);

// Builds a copy of install_probe.exe carrying `contents` in `scratch_folder` and runs it
// with `install_dir` and `options`, answering every message box with OK.
AnsweredRun RunInstall(const std::wstring& scratch_folder, const TestPackageContents& contents,
                       const std::wstring& install_dir, const std::wstring& options = L"");

// The same with the package's bytes given as they are (malformed ones too).
AnsweredRun RunInstallBytes(const std::wstring& scratch_folder,
                            const std::vector<uint8_t>& package,
                            const std::wstring& install_dir, const std::wstring& options = L"");
