#include "harness/install_run.h"

#include "harness/package_builder.h"
#include "harness/timeouts.h"

const wchar_t kSuccessCaption[] = L"Setup complete";
const wchar_t kSuccessText[] = L"The application has been installed successfully.";

std::wstring BuildProbeInstaller(const std::wstring& scratch_folder,
                                 const std::vector<uint8_t>& package) {
  static unsigned counter = 0;
  std::wstring installer = scratch_folder + L"\\setup-" + std::to_wstring(++counter) + L".exe";
  if (!EmbedPackageBytes(L"install_probe.exe", installer, package)) return L"";
  return installer;
}

std::wstring ProbeCommand(const std::wstring& installer, const std::wstring& install_dir,
                          const std::wstring& options) {
  // A backslash before the closing quote would escape it: double it, so the program still
  // receives exactly `install_dir`.
  std::wstring folder = install_dir;
  if (!folder.empty() && folder.back() == L'\\') folder += L'\\';
  std::wstring command = Quoted(installer) + L" " + Quoted(folder);
  if (!options.empty()) command += L" " + options;
  return command;
}

AnsweredRun RunInstallBytes(const std::wstring& scratch_folder,
                            const std::vector<uint8_t>& package,
                            const std::wstring& install_dir, const std::wstring& options) {
  std::wstring installer = BuildProbeInstaller(scratch_folder, package);
  if (installer.empty()) return AnsweredRun();
  return RunAnsweringMessageBoxes(ProbeCommand(installer, install_dir, options),
                                  kInstallTimeoutMs);
}

AnsweredRun RunInstall(const std::wstring& scratch_folder, const TestPackageContents& contents,
                       const std::wstring& install_dir, const std::wstring& options) {
  return RunInstallBytes(scratch_folder, PackageBytes(contents), install_dir, options);
}
