#include "packer/core/package_names.h"

#include <stdio.h>

#include "package/package_layout.h"

const EntryFlagName kEntryFlagNames[] = {
    {"desktop", ENTRY_DESKTOP_SHORTCUT}, {"startup", ENTRY_STARTUP_SHORTCUT},
    {"programs", ENTRY_PROGRAMS_SHORTCUT}, {"license", ENTRY_LICENSE_DOCUMENT},
    {"launch", ENTRY_LAUNCH},
};
const size_t kEntryFlagNameCount = sizeof(kEntryFlagNames) / sizeof(kEntryFlagNames[0]);

const OptionName kOptionNames[] = {
    {"allow_run_once", kAllowRunOnceOffset, &PackageContents::allow_run_once},
    {"log_executables", kLogExecutablesOffset, &PackageContents::log_executables},
    {"default_desktop", kDefaultDesktopOffset, &PackageContents::default_desktop},
    {"default_startup", kDefaultStartupOffset, &PackageContents::default_startup},
    {"default_programs", kDefaultProgramsOffset, &PackageContents::default_programs},
    {"default_launch", kDefaultLaunchOffset, &PackageContents::default_launch},
};
const size_t kOptionNameCount = sizeof(kOptionNames) / sizeof(kOptionNames[0]);

std::string FlagNames(uint16_t flags) {
  if (flags == ENTRY_UNINSTALLER) return "uninstaller";
  if (flags == 0) return "-";
  std::string text;
  uint16_t rest = flags;
  for (size_t k = 0; k < kEntryFlagNameCount; ++k) {
    if (flags & kEntryFlagNames[k].value) {
      text += (text.empty() ? "" : " ") + std::string(kEntryFlagNames[k].name);
      rest &= (uint16_t)~kEntryFlagNames[k].value;
    }
  }
  if (rest != 0) {
    char hex[8];
    snprintf(hex, sizeof(hex), "0x%04x", rest);
    text += (text.empty() ? "" : " ") + std::string(hex);
  }
  return text;
}
