#include "uninstaller/uninstaller_main.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "common/installation_identity.h"
#include "uninstaller/first_phase.h"
#include "uninstaller/second_phase.h"

UninstallerPhase ChoosePhase(int count, wchar_t** arguments) {
  if (count >= 3) return PHASE_SECOND;
  // "/AUTO" may stand anywhere inside the one argument; "/auto" does not count.
  if (count == 2 && StrStrW(arguments[1], SWITCH_AUTO) != NULL) return PHASE_FIRST_AUTO;
  return PHASE_FIRST_INTERACTIVE;
}

int UninstallerMain() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == NULL) count = 0;
  int code;
  switch (ChoosePhase(count, arguments)) {
    case PHASE_SECOND:
      code = RunSecondPhase(count, arguments);
      break;
    case PHASE_FIRST_AUTO:
      code = RunFirstPhase(false);
      break;
    default:
      code = RunFirstPhase(true);
      break;
  }
  if (arguments != NULL) LocalFree(arguments);
  return code;
}
