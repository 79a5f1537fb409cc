// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

struct FormContext;
struct Session;

// The eleven register rows of the form: address label, value field and eight bit boxes each.
// The rows come from the form's layout; the address of a row is the text of its label.
class GridView {
public:
    GridView(FormContext& form, Session& s) : form_(form), s_(s) {}

    // Draws every row from the image and writes each shown register to the chip.
    void refresh();
    // A bit box was toggled: rebuilds the bytes from the boxes and writes the rows that changed.
    void takeBitBoxes();

private:
    FormContext& form_;
    Session& s_;
};
