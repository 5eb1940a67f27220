// Every text the tool shows: the button captions, what the main window
// paints, its message boxes and the one line it writes to standard output.
// A wording is changed here once. The setting rows' names and the options'
// labels are the setting table's, in printer/settings_command.cpp, which
// tavoctl shares. The test suites keep their own copies of these texts.
#pragma once

// ---- The five buttons, left to right ------------------------------------
const wchar_t kTextInstallButton[] = L"安装";
const wchar_t kTextSettingsButton[] = L"设置";
const wchar_t kTextWebsiteButton[] = L"网站";
const wchar_t kTextManualButton[] = L"手册";
const wchar_t kTextExitButton[] = L"退出";

// ---- Painted in the main window -------------------------------------------
// The result band: the found printer's name.
const wchar_t kTextInstalledFormat[] = L"%s 已安装";
// The band shown while an installation runs.
const wchar_t kTextInstalling[] = L"WINDOWS正在为您安装打印机，请稍等几分钟...";

// ---- Start-up ---------------------------------------------------------------
// A system library (GDI+, the multimedia timer, the spooler) or one of its
// functions cannot be loaded from System32.
const wchar_t kTextMissingLibraryFormat[] = L"无法加载系统组件：%s";
// The INF or the settings file beside the tool is missing.
const wchar_t kTextFilesIncomplete[] = L"文件不全";

// ---- The buttons' commands ------------------------------------------------
const wchar_t kTextBusy[] = L"WINDOWS正在安装您的打印机，请稍候...";
const wchar_t kTextExitWhileBusy[] =
    L"WINDOWS正在安装您的打印机，退出后WINDOWS仍可能在后台进行安装任务";
// Settings with more than one printer, or none.
const wchar_t kTextSettingsSeveralPrinters[] = L"发现多台打印机，请保持1台联机打印机！";
const wchar_t kTextSettingsNoPrinter[] = L"请安装驱动或连接打印机！";
const wchar_t kTextNoBrowser[] = L"WINDOWS没有默认浏览器";
const wchar_t kTextNoManualAppFormat[] = L"WINDOWS没有安装打开 %s 的应用程序！";
// The printer went while the result or the settings were shown.
const wchar_t kTextDeviceRemoved[] = L"设备移除或改变！";

// ---- The installation's result ----------------------------------------------
const wchar_t kTextParameterError[] = L"参数错误！";
const wchar_t kTextCopyError[] = L"文件复制错误！";
const wchar_t kTextInstalledCountFormat[] = L"安装%d台打印机";
const wchar_t kTextNotStartedFormat[] = L"无法启动安装程序：%s";
const wchar_t kTextAbnormalEndFormat[] = L"安装程序异常结束（代码 0x%08X）";
// The search after the installer found more than one printer, or none.
const wchar_t kTextInstallSeveralPrinters[] = L"发现多台打印机，请保持1台打印机USB连接！";
const wchar_t kTextNoNewPrinter[] = L"未发现新打印机，请保持USB连接！";
// Written to standard output when the dots' timer cannot be created.
const char kTextNoTimerLine[] = "time ID is not created\n";
