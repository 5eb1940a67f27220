// The settings panel's six lists, one for each setting row but the first,
// and the command that a list's close-up sends to the printer.
#pragma once

#include <windows.h>

// List ids: the first id plus the row. Row 0 has no list, so the id of the
// first list is one above it; commands in this range go to
// OnSettingListCommand.
enum { kIdSettingListBase = 1201, kIdLastSettingList = 1207 };

// Creates the lists in `mainWindow`, each showing the option preset for its
// row, in `font`.
void CreateSettingLists(HWND mainWindow, HFONT font);

// A notification from list `listId`: a close-up sends the chosen option to
// every printer found.
void OnSettingListCommand(HWND mainWindow, int listId, int notificationCode);
