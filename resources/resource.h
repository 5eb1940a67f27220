// Resource ids of the tool, shared by the resource script and the code.
#pragma once

#define IDS_APP_TITLE 103      // "安装打印机"
#define IDS_CLASS_NAME 109     // "TAVO_WIN32"
#define IDI_APP_LARGE 107      // 128 x 128, 32 bits per pixel
#define IDI_APP_SMALL 108      // 128 x 128, 32 bits per pixel
#define IDR_PNG_LOGO 132       // 275 x 52, RGBA
#define IDR_PNG_PRINTER 133    // 50 x 50, RGB
