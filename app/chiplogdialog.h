// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <cstddef>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class ChipLog;

// Tools > Chip log: every register the window wrote this session and every read-back failure,
// with buttons that save the log as text or as a shell script of i2cset lines.
class ChipLogDialog : public QDialog {
    Q_OBJECT

public:
    ChipLogDialog(const ChipLog& log, QWidget* parent);

    // Shows the log as it is now.
    void showLog();
    // Forgets the outcome of the last save, for a dialog opened again.
    void clearResult();

    QPlainTextEdit* view() const { return view_; }
    QPushButton* saveTextButton() const { return saveText_; }
    QPushButton* saveScriptButton() const { return saveScript_; }

private:
    void save(bool script);

    const ChipLog& log_;
    QPlainTextEdit* view_;
    QPushButton* saveText_;
    QPushButton* saveScript_;
    QLabel* result_;
    std::size_t shown_ = 0;  // entries in the view
};
