// SPDX-License-Identifier: MIT
#include "views/gridview.h"

#include "frequency/chiprules.h"
#include "session/session.h"
#include "views/formcells.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {
// Register rows are every third layout row from row 1; column 1 holds the address label,
// column 2 the value field and the last eight columns the bits, bit 0 rightmost.
constexpr int FirstRegisterRow = 1;
constexpr int RowStride = 3;
constexpr int AddressColumn = 1;
constexpr int ValueColumn = 2;

quint8 rowAddress(const QGridLayout* grid, int row) {
    const QLabel* label = widgetAt<QLabel>(grid, row, AddressColumn);
    return label ? static_cast<quint8>(label->text().toUInt(nullptr, 16)) : 0;
}

QCheckBox* bitBox(const QGridLayout* grid, int row, int bit) {
    return widgetAt<QCheckBox>(grid, row, grid->columnCount() - 1 - bit);
}

QString hexText(quint8 value) {
    return QString::asprintf("0x%02X", value);
}

// The mark of a row the chip does not hold: amber behind black text on a light palette, dark amber
// behind white text on a dark one; both keep the text's contrast above 7:1.
QPalette markedPalette(QPalette palette) {
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    const QColor background = dark ? QColor(0x7A, 0x4A, 0x00) : QColor(0xFF, 0xCC, 0x80);
    const QColor text = dark ? QColor(Qt::white) : QColor(Qt::black);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Text, text);
    }
    return palette;
}

// What CAPLOAD means to the crystal, on the board the findings dialog describes.
QString capLoadTip(quint8 capLoad, const BoardFacts& board) {
    return QString::asprintf(
        "Crystal load %.2f pF: CAPLOAD %d x %g pF + %g pF on the chip + "
        "%g pF on the board",
        crystalLoadPf(capLoad, board), capLoad, ChipLimits::CapLoadStepPf, ChipLimits::OnChipLoadPf,
        board.boardLoadPf);
}
}  // namespace

void GridView::refresh() {
    draw(true);
}

void GridView::show() {
    draw(false);
}

void GridView::draw(bool write) {
    const QGridLayout* grid = form_.ui->gridLayout;
    for (int row = FirstRegisterRow; row < grid->rowCount(); row += RowStride) {
        const quint8 address = rowAddress(grid, row);
        const quint8 value = s_.image[address];
        if (QLineEdit* field = widgetAt<QLineEdit>(grid, row, ValueColumn)) {
            field->setText(hexText(value));
            if (address == Reg::CapLoad)
                field->setToolTip(capLoadTip(value, s_.board));
        }
        for (int bit = 0; bit < 8; ++bit) {
            QCheckBox* box = bitBox(grid, row, bit);
            setDetached(form_, box, SIGNAL(toggled(bool)), form_.familySlots.bitBox,
                        [&] { box->setChecked((value >> bit) & 1); });
        }
        if (write)
            pushRegister(s_, address);
    }
}

void GridView::takeBitBoxes() {
    const QGridLayout* grid = form_.ui->gridLayout;
    for (int row = FirstRegisterRow; row < grid->rowCount(); row += RowStride) {
        const quint8 address = rowAddress(grid, row);
        int value = 0;
        for (int bit = 0; bit < 8; ++bit) {
            value >>= 1;
            const QCheckBox* box = bitBox(grid, row, bit);
            if (box && box->isChecked())
                value |= 0x80;
        }
        s_.image[address] = static_cast<quint8>(value);
        // Every refresh leaves boxes, fields and image agreeing, so only the toggled row differs
        // from its field and only that register is written.
        QLineEdit* field = widgetAt<QLineEdit>(grid, row, ValueColumn);
        const QString text = hexText(static_cast<quint8>(value));
        if (!field || field->text() == text)
            continue;
        field->setText(text);
        pushRegister(s_, address);
    }
}

void GridView::markChipDifferences() {
    const QGridLayout* grid = form_.ui->gridLayout;
    const bool chipKnown = !s_.chip.unknown();
    for (int row = FirstRegisterRow; row < grid->rowCount(); row += RowStride) {
        const quint8 address = rowAddress(grid, row);
        QLineEdit* field = widgetAt<QLineEdit>(grid, row, ValueColumn);
        if (!field)
            continue;
        const bool mark = chipKnown && s_.chip.differs(s_.image, address);
        const auto was = unmarked_.find(address);
        // The row's own tooltip (CAPLOAD's crystal load) stays below the chip's value.
        const QString own =
            address == Reg::CapLoad ? capLoadTip(s_.image[address], s_.board) : QString();
        if (mark) {
            if (was == unmarked_.end()) {
                unmarked_[address] = {field->palette()};
                field->setPalette(markedPalette(field->palette()));
            }
            const QString holds = chipHoldsText(s_.chip, address);
            field->setToolTip(own.isEmpty() ? holds : holds + QLatin1Char('\n') + own);
        } else if (was != unmarked_.end()) {
            field->setPalette(was->second.palette);
            field->setToolTip(own);
            unmarked_.erase(was);
        }
    }
}
