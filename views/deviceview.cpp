// SPDX-License-Identifier: MIT
#include "views/deviceview.h"

#include "session/session.h"
#include "usb/deviceid.h"
#include "usb/devicelist.h"
#include "usb/discovery.h"
#include "usb/i2cbuses.h"
#include "usb/usbbackend.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"

namespace {
constexpr int I2cAddressCount = 128;
constexpr int DefaultI2cAddress = 0x69;
}  // namespace

void DeviceView::setUpAddressBox() {
    QComboBox* box = form_.ui->DeviceAddresscomboBox;
    box->clear();
    for (int address = 0; address < I2cAddressCount; ++address)
        box->addItem(i2cAddressText(quint8(address)));
    box->setCurrentIndex(DefaultI2cAddress);
    QObject::connect(box, SIGNAL(currentIndexChanged(int)), form_.window,
                     form_.familySlots.addressBox);
}

int DeviceView::scanDevices() {
    AdapterConnection& c = s_.adapter;
    UsbBackend& usb = *c.usb;
    QComboBox* list = form_.ui->USBcomboBox;
    c.openedByScan = false;
    list->clear();

    usb.rescan();
    const std::vector<UsbBus> busses = usb.busses();
    if (busses.empty()) {
        list->addItem(DiscoveryText::NoUsbSubsystem);
        s_.status.show({ReportKind::Error, i2c_error_text(c)});
        addBusEntries(busses);
        return -1;
    }
    for (const UsbBus& bus : busses) {
        for (const UsbDeviceInfo& device : bus.devices) {
            list->addItem(listEntry(usb, device));
            // Only the first adapter is opened; one whose open failed leaves the handle null, so
            // the next adapter gets its turn.
            if (isAdapter(device.vendorId, device.productId) && !i2c_is_open(c)) {
                list->setCurrentIndex(list->count() - 1);
                if (openSelected() >= 0)
                    c.openedByScan = true;
            }
        }
    }
    addBusEntries(busses);
    return 0;
}

// After the USB devices, the I2C buses, but not those of an i2c-tiny-usb adapter already listed.
// The scan opens none of them: a bus is opened only when the user selects it and chooses Open.
void DeviceView::addBusEntries(const std::vector<UsbBus>& busses) {
    QComboBox* list = form_.ui->USBcomboBox;
    for (const I2cBusInfo& bus : listI2cBuses()) {
        bool listedAdapter = false;
        for (const UsbBus& usbBus : busses) {
            for (const UsbDeviceInfo& device : usbBus.devices)
                listedAdapter =
                    listedAdapter || (bus.usb && isAdapter(device.vendorId, device.productId) &&
                                      device.busNumber == bus.usb->busNumber &&
                                      device.deviceNumber == bus.usb->deviceNumber);
        }
        if (!listedAdapter)
            list->addItem(busListEntry(bus));
    }
}

int DeviceView::openSelected() {
    AdapterConnection& c = s_.adapter;
    if (i2c_is_open(c))
        i2c_close(c);
    c.i2cAddress = parseI2cAddress(form_.ui->DeviceAddresscomboBox->currentText());
    const ChipReadOutcome outcome =
        openListedAdapter(c, form_.ui->USBcomboBox->currentText(), s_.image);
    // What the read returned is what the chip holds; a read that failed part-way tells nothing.
    if (outcome.ok)
        s_.chip.takeRead(s_.image);
    else
        s_.chip.forget();
    if (!outcome.message.isEmpty())
        s_.status.show({outcome.ok ? ReportKind::Info : ReportKind::Error, outcome.message});
    return outcome.ok ? 0 : -1;
}

// setValue repaints at once whenever the shown percentage changes; with updates off it only marks
// the bar for the next repaint, which comes from here or, after a failed read, from the event loop.
void DeviceView::readProgress(int done, int count) {
    QProgressBar* bar = form_.ui->LOADSAVEprogressBar;
    bar->setUpdatesEnabled(false);
    bar->setValue(progressBarValue(done, count, bar->maximum()));
    bar->setUpdatesEnabled(true);
    if (done >= count || !sinceRepaint_.isValid() || sinceRepaint_.elapsed() >= RepaintIntervalMs) {
        bar->repaint();
        sinceRepaint_.start();
    }
}
