#pragma once

struct Session;

// Lists every USB device in USBcomboBox and opens the first i2c-tiny-usb adapter while none is
// open. Returns 0, or -1 when the USB library reports no bus.
int i2c_scan_devices(Session& s);
// Opens the adapter named by the selected USBcomboBox entry and reads all 256 registers into the
// image. Returns 0 on success, -1 on every failure.
int i2c_open_selected(Session& s);

void onScanAction(Session& s);
void onOpenAction(Session& s);
