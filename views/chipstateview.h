// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

class QToolButton;
struct FormContext;
struct Session;

// Whether the chip holds what the window shows: a permanent indicator beside the chip-rule one,
// "Chip: in step", "Chip: N registers differ" or "Chip: unknown". A click asks the window for the
// comparison. It only shows: it writes nothing and leaves the status line alone.
class ChipStateView {
public:
    ChipStateView(FormContext& form, Session& s) : form_(form), s_(s) {}

    // Puts the indicator into the status bar, after the chip-rule one; `open` runs on a click.
    void install(std::function<void()> open);
    void refresh();

    QToolButton* indicator() const { return indicator_; }

private:
    FormContext& form_;
    Session& s_;
    QToolButton* indicator_ = nullptr;  // the status bar's child
};
