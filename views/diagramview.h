// SPDX-License-Identifier: MIT
#pragma once

struct FormContext;
struct Session;

// The block diagram: the crosspoint matrix with its output buttons, the register spin boxes, the
// divider sources, cbPO and the reference. Each take... call stores what the user set into the
// session; writing and refreshing is the caller's.
class DiagramView {
public:
    DiagramView(FormContext& form, Session& s) : form_(form), s_(s) {}

    // Sets every control from the image without running the editing slots, and takes the divider
    // copies from it.
    void refresh();
    // Gives the output buttons' enabled state a fill that stands out in any palette; once.
    void markOutputButtons();

    void takeDiv1Source();
    void takeDiv2Source();
    void takePo();
    void takeOutputButtons();
    void takeMatrix();
    void takeSpinBoxes();
    void takeReference();

    // Selects a crosspoint code for an output (0 = LCLK1, 1 = LCLK2). A new choice runs the matrix
    // slot through its connection; the same one emits nothing.
    void selectCrosspoint(int output, int code);
    // DIV2N as its spin box shows it (the box never shows less than its minimum).
    int shownDiv2N() const;

private:
    FormContext& form_;
    Session& s_;
};
