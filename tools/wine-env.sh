# The one Wine environment of every run the project makes: the tests (through the CTest
# wrapper and the session script), the demo and the benchmark.
# Usage: source tools/wine-env.sh FOLDER   (the prefix is FOLDER/wine, never ~/.wine)
export WINEPREFIX="$1/wine"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko installers, no Linux desktop menus written for shortcuts, and no debugger
# that would hold a crashed program open until a timeout.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
# A 64-bit Windows, as users have: 64-bit programs run natively, 32-bit ones under WOW64
# (Program Files (x86), the registry's 32-bit view), wherever the machine runs 32-bit code.
export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
wine_env_bin="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64"
case ":$PATH:" in
  *":$wine_env_bin:"*) ;;
  *) export PATH="$wine_env_bin:$PATH" ;;
esac
