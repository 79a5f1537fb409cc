#include "app/formtransportview.h"

#include "app/mainwindowform.h"

void FormTransportView::showMessage(const QString& message) {
    ui_->statusBar->showMessage(message, 0);
}

void FormTransportView::readProgress(int done, int count) {
    QProgressBar* bar = ui_->LOADSAVEprogressBar;
    bar->setValue(progressBarValue(done, count, bar->maximum()));
    bar->repaint();
}
