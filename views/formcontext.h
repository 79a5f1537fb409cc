// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class MainWindowForm;

// The window's slots (SLOT() signatures) that receive each family of widgets: the window names
// them, the views connect to them.
struct FamilySlots {
    const char* bitBox = nullptr;        // toggled(bool) of the grid's bit boxes
    const char* outputButton = nullptr;  // toggled(bool) of the matrix's output buttons
    const char* matrixBox = nullptr;     // currentIndexChanged(int) of the matrix boxes
    const char* spinBox = nullptr;       // valueChanged(int) of the register spin boxes
    const char* addressBox = nullptr;    // currentIndexChanged(int) of the I2C address box
};

// What the views of one window share: the form, the window whose slots receive the family
// connections, and the two flags that keep the editing slots quiet while the views set widgets.
struct FormContext {
    MainWindowForm* ui = nullptr;
    QObject* window = nullptr;
    FamilySlots familySlots;
    bool firstRefresh = true;      // true only while the window is being constructed
    bool updatingWidgets = false;  // silences the editing slots during bulk updates
};

// Sets updatingWidgets for its lifetime and then puts back what was there, so that a refresh inside
// a bulk update (a file load) does not end that update's silence early.
class UpdatingWidgets {
public:
    explicit UpdatingWidgets(FormContext& form) : form_(form), was_(form.updatingWidgets) {
        form_.updatingWidgets = true;
    }
    ~UpdatingWidgets() { form_.updatingWidgets = was_; }
    UpdatingWidgets(const UpdatingWidgets&) = delete;
    UpdatingWidgets& operator=(const UpdatingWidgets&) = delete;

private:
    FormContext& form_;
    bool was_;
};

// Sets a family widget with its editing slot detached, so that a refresh never starts an edit and
// exactly one connection remains afterwards. The first refresh only connects.
template <typename Set>
void setDetached(const FormContext& form, QObject* widget, const char* signal, const char* slot,
                 Set set) {
    if (!widget)
        return;
    if (!form.firstRefresh)
        QObject::disconnect(widget, signal, form.window, slot);
    set();
    QObject::connect(widget, signal, form.window, slot);
}
