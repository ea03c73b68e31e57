// Reading "uninstall.dat" whole into memory, as both phases do before they act on it.
#pragma once

#include <windows.h>

#include "common/held_folders.h"
#include <stddef.h>

// The log's text: UTF-16 units without terminator, in one block from the process heap
// that holds exactly the file's bytes (an odd last byte is not part of any unit).
struct LogText {
  wchar_t* text;
  size_t length;
};

// Outcomes of reading the log.
enum LogReadResult {
  LOG_READ_COMPLETE,    // `*log` holds every byte of the file; free it with FreeLogText
  LOG_READ_NOT_OPENED,  // the file is missing or cannot be opened; `*log` is empty
  LOG_READ_INCOMPLETE,  // opened, but the size, the memory or the read failed, or fewer
                        // bytes came than the file holds; `*log` is empty
};

// Reads the installation's log "uninstall.dat" inside the held installation folder
// `folder` whole, opened through that folder's handle for reading, sharing reading only (a
// link, or anything but a plain file with one name under the log's name, is not opened).
// The file is left in place. NULL, a folder that is not held, holds no log:
// LOG_READ_NOT_OPENED.
LogReadResult ReadInstallationLogIn(HANDLE folder, LogText* log);

// Reads the file behind `file` from its current position: GetFileSize bytes are expected.
// Does not close `file`. ReadInstallationLogIn's second half, open for tests.
LogReadResult ReadOpenLogFile(HANDLE file, LogText* log);

// Frees the text of a LOG_READ_COMPLETE read; harmless on an empty LogText.
void FreeLogText(LogText* log);

// The message both phases show when the log cannot be used: the "Fatal error" box.
void ShowLogNotOpened();

// Shows "uninstall.dat does not belong to this installation folder, uninstall aborted!":
// the second phase found no normal form for its folder, no header, or not the log's own
// record for that folder, and removed nothing.
void ShowScopeNotEstablished();

// The box for a folder from the drive root down to the installation folder that could not
// be held (`result` of HoldInstallationFolders): a junction or symbolic link gets
// ShowFolderBehindLink, a missing or unopenable one the "Could not open uninstall.dat" box.
void ShowFolderNotHeld(HoldResult result);

// Shows "The installation folder is reached through a junction or symbolic link, uninstall
// aborted!": a folder from the drive root down to the installation folder is a link (or
// cannot be held), and nothing was changed.
void ShowFolderBehindLink();
