#pragma once

#include "usb/i2ctinyusb.h"

class MainWindowForm;

// Shows the transport's reports on the form: messages in the status bar, read progress in
// LOADSAVEprogressBar, repainted at once because the event loop does not run during a read.
class FormTransportView : public TransportObserver {
public:
    explicit FormTransportView(MainWindowForm* ui) : ui_(ui) {}
    void showMessage(const QString& message) override;
    void readProgress(int done, int count) override;

private:
    MainWindowForm* ui_;
};
