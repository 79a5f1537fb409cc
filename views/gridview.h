// SPDX-License-Identifier: MIT
#pragma once

#include <QPalette>
#include <QtGlobal>

#include <map>

struct FormContext;
struct Session;

// The eleven register rows of the form: address label, value field and eight bit boxes each.
// The rows come from the form's layout; the address of a row is the text of its label.
class GridView {
public:
    GridView(FormContext& form, Session& s) : form_(form), s_(s) {}

    // Draws every row from the image and writes each shown register to the chip.
    void refresh();
    // Draws every row from the image and writes nothing: for registers that have just been
    // written in an order of their own (a plan's, enables last).
    void show();
    // A bit box was toggled: rebuilds the bytes from the boxes and writes the rows that changed.
    void takeBitBoxes();
    // Marks the value field of each row whose value the chip is not known to hold (a background
    // and the tooltip "chip holds 0xNN"), while anything of the chip is known; unmarks the rest.
    void markChipDifferences();
    // Whether the row of `address` is marked.
    bool marked(quint8 address) const { return unmarked_.count(address) != 0; }

private:
    // Draws every row; `write` also writes each row's register as it is drawn.
    void draw(bool write);

    FormContext& form_;
    Session& s_;
    // What each marked field looked like before its mark, to put back.
    struct Unmarked {
        QPalette palette;
    };
    std::map<quint8, Unmarked> unmarked_;
};
