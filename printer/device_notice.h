// Which device removals concern the printer.
//
// The main window registers for device-interface notifications of the USB
// printer class: without a registration Windows broadcasts removals to
// top-level windows only for volumes and ports, and a USB printer is
// neither. A removal then carries a DEV_BROADCAST_DEVICEINTERFACE_W record
// of that class. Removals that come without a registration (volumes, ports,
// or none at all) are still taken as before, and so is a record too short
// to say what it is about; an interface record of another class is not
// about the printer.
#pragma once

// GUID_DEVINTERFACE_USBPRINT, {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}, as the
// 16 bytes a GUID is stored in (Data1 to Data3 little-endian).
extern const unsigned char kUsbPrintInterfaceClass[16];

// The record layout (dbt.h): DWORD dbch_size (the record's whole size),
// DWORD dbch_devicetype, DWORD dbch_reserved; for a device interface the
// class GUID follows at byte 12.
enum {
    kDeviceRecordHeaderBytes = 12,
    kDeviceTypeInterface = 5,  // DBT_DEVTYP_DEVICEINTERFACE
    kInterfaceClassOffset = 12,
    kInterfaceRecordMinBytes = kInterfaceClassOffset + 16,
};

// 1 when a DBT_DEVICEREMOVECOMPLETE with this record (a DEV_BROADCAST_HDR, or
// null) may have taken the printer away. Reads no further than the size the
// record gives itself.
int RemovalConcernsPrinter(const void* record);
