#pragma once

#include <QObject>

class MainWindowForm;

// What the views of one window share: the form, the window whose named slots receive the family
// connections, and the two flags that keep the editing slots quiet while the views set widgets.
struct FormContext {
    MainWindowForm* ui = nullptr;
    QObject* window = nullptr;
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
