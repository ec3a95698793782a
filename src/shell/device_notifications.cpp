#include "shell/device_notifications.h"

#include "input/hotplug.h"

#include <dbt.h>

namespace {

// Game controllers arrive and leave as device interfaces of the HID class
// ({4D1E55B2-F16F-11CF-88CB-001111000030}, GUID_DEVINTERFACE_HID in hidclass.h).
constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

HDEVNOTIFY g_deviceNotification = nullptr;

} // namespace

void RegisterForDeviceChanges(HWND dialog) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    g_deviceNotification =
        RegisterDeviceNotificationW(dialog, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterForDeviceChanges() {
    if (g_deviceNotification) {
        UnregisterDeviceNotification(g_deviceNotification);
        g_deviceNotification = nullptr;
    }
}

void OnDeviceChange(HWND dialog, WPARAM event, LPARAM data) {
    const DEV_BROADCAST_HDR* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    const bool interfaceEvent = (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) &&
                                header != nullptr &&
                                header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
    if (interfaceEvent || event == DBT_DEVNODES_CHANGED) {
        OnDeviceChangeHint(dialog);
    }
}
