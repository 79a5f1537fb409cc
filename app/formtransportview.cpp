#include "app/formtransportview.h"

#include "app/mainwindowform.h"

void FormTransportView::showMessage(const QString& message) {
    ui_->statusBar->showMessage(message, 0);
}

void FormTransportView::readProgress(int done, int count) {
    QProgressBar* bar = ui_->LOADSAVEprogressBar;
    if (count > 0)
        bar->setValue(done * bar->maximum() / count);
    bar->repaint();
}
