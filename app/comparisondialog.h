// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <functional>

class QPushButton;
class QTableWidget;
struct Session;

// The window's registers beside what the chip is known to hold: one row per configuration
// register that differs (register, field names, window value, chip value), with "Write these to
// the chip" and "Take the chip's values". It shows; the two buttons ask the window to act.
class ComparisonDialog : public QDialog {
    Q_OBJECT

public:
    ComparisonDialog(const Session& s, std::function<void()> writeToChip,
                     std::function<void()> takeChipValues, QWidget* parent);

    // Fills the table from the session again.
    void showComparison();

    QTableWidget* table() const { return table_; }
    QPushButton* writeButton() const { return write_; }
    QPushButton* takeButton() const { return take_; }

private:
    const Session& s_;
    QTableWidget* table_;
    QPushButton* write_;
    QPushButton* take_;
};
