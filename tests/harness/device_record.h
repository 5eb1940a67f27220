// The record a device removal of a USB printer carries, for the probes that
// send WM_DEVICECHANGE to the tool from outside.
#pragma once

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

// A DEV_BROADCAST_DEVICEINTERFACE_W as a device removal carries it (dbt.h):
// size, DBT_DEVTYP_DEVICEINTERFACE (5), reserved, the class GUID, then the
// device's interface name. "usbprint" is GUID_DEVINTERFACE_USBPRINT
// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}, "usbdevice" GUID_DEVINTERFACE_USB_DEVICE
// {A5DCBF10-6530-11D2-901F-00C04FB951ED}; anything else gives no record.
inline std::vector<unsigned char> DeviceInterfaceRecord(const std::string& kind) {
    static const GUID kUsbPrint = {
        0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
    static const GUID kUsbDevice = {
        0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
    const GUID* guid = kind == "usbprint" ? &kUsbPrint : kind == "usbdevice" ? &kUsbDevice : NULL;
    if (!guid) return std::vector<unsigned char>();
    const wchar_t name[] =
        L"\\\\?\\USB#VID_1234&PID_5678#PROBE#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    DWORD header[3] = {static_cast<DWORD>(3 * sizeof(DWORD) + sizeof(GUID) + sizeof name), 5, 0};
    std::vector<unsigned char> record(header[0]);
    memcpy(&record[0], header, sizeof header);
    memcpy(&record[sizeof header], guid, sizeof(GUID));
    memcpy(&record[sizeof header + sizeof(GUID)], name, sizeof name);
    return record;
}
