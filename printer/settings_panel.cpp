// The six setting lists of the settings panel and the command that a list's
// close-up sends to the printer.
#include <windows.h>

#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_command.h"
#include "printer/settings_panel.h"

namespace {

// WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | CBS_HASSTRINGS
const DWORD kListStyle = 0x50000243;
enum { kListX = 200, kFirstListY = 260, kListPitch = 32, kListWidth = 210, kListHeight = 350 };

// Built on the user-interface thread only.
unsigned char SettingCommand[kSettingCommandBytes];

}  // namespace

void CreateSettingLists(HWND mainWindow, HFONT font) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(mainWindow, GWLP_HINSTANCE));
    for (int row = 1; row < kSettingRows; ++row) {
        const SettingRow& setting = SettingTable[row];
        HWND list = CreateWindowExW(
            0, L"ComboBox", L"", kListStyle, kListX, kFirstListY + kListPitch * (row - 1),
            kListWidth, kListHeight, mainWindow,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdSettingListBase + row)), instance,
            nullptr);
        if (!list) continue;
        SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (int option = 0; option < setting.optionCount; ++option)
            SendMessageW(list, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(OptionLabels[setting.firstLabel + option]));
        SendMessageW(list, CB_SETCURSEL, PresetOptionIndex(row, Package.settings), 0);
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void OnSettingListCommand(HWND mainWindow, int listId, int notificationCode) {
    int row = listId - kIdSettingListBase;
    if (row < 0 || row >= kSettingRows) return;
    // Only closing the drop-down sends; a keyboard change of a closed list
    // does not.
    if (notificationCode != CBN_CLOSEUP) return;
    HWND list = GetDlgItem(mainWindow, listId);
    // Id 1201 (row 0) has no list: a close-up sent for it by another program
    // must not turn into a command for an option nobody chose.
    if (!list) return;
    int selection = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
    BuildSettingCommand(row, selection, SettingCommand);
    FindOurPrinters(SettingCommand, kSettingCommandBytes);
}
