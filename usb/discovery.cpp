#include "usb/discovery.h"

#include "app/mainwindowform.h"
#include "app/session.h"
#include "app/statuslinewatch.h"
#include "frequency/frequencydisplay.h"
#include "registers/blockdiagram.h"
#include "registers/registergrid.h"
#include "registers/registerwrite.h"
#include "usb/deviceid.h"
#include "usb/usbbackend.h"

#include <optional>

namespace {
const char* const NoUsbSubsystemText = "No USB subsystem found on this machine!";
const char* const WrongAdapterText = "Error: wrong VID/PID, only i2c-tiny-usb interface supported";
const char* const ReadSuccessText = "Info: Device configuration successfully read.";

void showMessage(Session& s, const QString& message) {
    s.ui->statusBar->showMessage(message, 0);
}

std::optional<std::string> readDeviceString(UsbBackend& usb, UsbHandle* handle, int index) {
    std::string text;
    if (index == 0 || usb.readString(handle, index, text) <= 0)
        return std::nullopt;
    return text;
}

// Every device is opened briefly for its strings, whatever it is.
QString listEntry(UsbBackend& usb, const UsbDeviceInfo& device) {
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    if (UsbHandle* handle = usb.open(device)) {
        manufacturer = readDeviceString(usb, handle, device.manufacturerIndex);
        product = readDeviceString(usb, handle, device.productIndex);
        usb.close(handle);
    }
    return deviceListEntry(device, manufacturer, product);
}

// The device of the last enumeration whose identification starts the selected entry.
std::optional<UsbDeviceInfo> findListedDevice(const UsbBackend& usb, const QString& entry) {
    for (const UsbBus& bus : usb.busses())
        for (const UsbDeviceInfo& device : bus.devices)
            if (entryMatchesDevice(entry, device))
                return device;
    return std::nullopt;
}

int reportRead(Session& s, int result) {
    switch (result) {
        case I2cResult::Ok:
            showMessage(s, ReadSuccessText);
            return 0;
        case I2cResult::NoAcknowledge:
            showMessage(s, "Error: Device not found at this interface!");
            break;
        case I2cResult::ReadNotAcknowledged:
            showMessage(s, "Error: Device not complete readable!");
            break;
        case I2cResult::BadCount:
            break;
        default:
            i2c_report_error(s.adapter);
            break;
    }
    return -1;
}

void copyDividersToSolver(Session& s) {
    s.solver.divider1 = Field::div1N(s.image);
    s.solver.divider2 = Field::div2N(s.image);
}
}  // namespace

int i2c_scan_devices(Session& s) {
    AdapterConnection& c = s.adapter;
    UsbBackend& usb = *c.usb;
    QComboBox* list = s.ui->USBcomboBox;
    c.openedByScan = false;
    list->clear();

    usb.rescan();
    const std::vector<UsbBus> busses = usb.busses();
    if (busses.empty()) {
        list->addItem(NoUsbSubsystemText);
        i2c_report_error(c);
        return -1;
    }
    for (const UsbBus& bus : busses) {
        for (const UsbDeviceInfo& device : bus.devices) {
            list->addItem(listEntry(usb, device));
            // Only the first adapter is opened; one whose open failed leaves the handle null, so
            // the next adapter gets its turn.
            if (isAdapter(device.vendorId, device.productId) && !c.handle) {
                list->setCurrentIndex(list->count() - 1);
                if (i2c_open_selected(s) >= 0)
                    c.openedByScan = true;
            }
        }
    }
    return 0;
}

int i2c_open_selected(Session& s) {
    AdapterConnection& c = s.adapter;
    if (c.handle)
        i2c_close(c);
    c.i2cAddress = parseI2cAddress(s.ui->DeviceAddresscomboBox->currentText());

    const QString entry = s.ui->USBcomboBox->currentText();
    if (!entryNamesAdapter(entry)) {
        showMessage(s, WrongAdapterText);
        return -1;
    }
    // The list of the last scan, not a new enumeration.
    const std::optional<UsbDeviceInfo> device = findListedDevice(*c.usb, entry);
    if (!device)
        return -1;
    if (!isAdapter(device->vendorId, device->productId)) {
        showMessage(s, WrongAdapterText);
        return -1;
    }
    UsbHandle* handle = c.usb->open(*device);
    if (!handle) {
        showMessage(s, i2c_error_text(c));
        return -1;
    }
    c.handle = handle;
    // Straight into the image: bytes read before a failure stay there.
    const int result =
        i2c_read_registers(c, c.i2cAddress, 0, RegisterImage::Size, s.image.bytes.data());
    return reportRead(s, result);
}

void onOpenAction(Session& s) {
    i2c_close(s.adapter);
    s.ui->statusBar->clearMessage();
    if (i2c_open_selected(s) < 0)
        return;
    StatusLineWatch watch(s.ui->statusBar, ReadSuccessText);
    refreshRegisterGrid(s);
    watch.check();
    refreshDiagram(s);
    watch.check();
    copyDividersToSolver(s);
    refreshFrequencies(s);
    watch.finish();
}

void onScanAction(Session& s) {
    i2c_close(s.adapter);
    s.ui->statusBar->clearMessage();
    i2c_scan_devices(s);
    if (!s.adapter.openedByScan)
        return;
    StatusLineWatch watch(s.ui->statusBar, ReadSuccessText);
    s.image[Reg::CapLoad] = 0x40;
    pushRegister(s, Reg::CapLoad);
    watch.check();
    refreshRegisterGrid(s);
    watch.check();
    refreshDiagram(s);
    watch.check();
    copyDividersToSolver(s);
    s.ui->leF1->setText("0.0");
    s.ui->leF2->setText("0.0");
    refreshFrequencies(s);
    watch.finish();
}
