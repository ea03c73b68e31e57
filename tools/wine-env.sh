# The one Wine environment of every run the project makes: the tests (through the CTest
# wrapper and the session script), the demo and the benchmark.
# Usage: source tools/wine-env.sh FOLDER   (the prefix is FOLDER/wine, never ~/.wine)
export WINEPREFIX="$1/wine"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko installers, no Linux desktop menus written for shortcuts, and no debugger
# that would hold a crashed program open until a timeout.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
export WINEARCH=win32
