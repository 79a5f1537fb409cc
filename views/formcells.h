// SPDX-License-Identifier: MIT
#pragma once

#include <QGridLayout>
#include <QLayoutItem>
#include <QWidget>

// The grid and matrix editors find their widgets by cell, not by name: the form's layout decides
// which registers and outputs exist and in which order.
template <typename W>
W* widgetAt(const QGridLayout* grid, int row, int column) {
    const QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? qobject_cast<W*>(item->widget()) : nullptr;
}

// Each matrix output occupies three rows: combo box and button in row 3i, its frequency field in
// row 3i + 1.
inline int matrixOutputCount(const QGridLayout* matrix) {
    return (matrix->rowCount() + 1) / 3;
}
