// SPDX-License-Identifier: MIT
#include "app/comparisondialog.h"

#include "session/session.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString byteText(std::optional<quint8> value) {
    return value ? QString::asprintf("0x%02X", *value) : QObject::tr("unknown");
}
}  // namespace

ComparisonDialog::ComparisonDialog(const Session& s, std::function<void()> writeToChip,
                                   std::function<void()> takeChipValues, QWidget* parent)
    : QDialog(parent), s_(s) {
    setObjectName(QStringLiteral("comparisonDialog"));
    setWindowTitle(tr("Window and chip"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("comparisonTable"));
    table_->setHorizontalHeaderLabels(
        {tr("Register"), tr("Fields"), tr("Window value"), tr("Chip value")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    auto* buttons = new QDialogButtonBox(this);
    write_ = buttons->addButton(tr("Write these to the chip"), QDialogButtonBox::ActionRole);
    take_ = buttons->addButton(tr("Take the chip's values"), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setDefault(true);  // Return never writes to the chip by accident
    connect(write_, &QPushButton::clicked, this, [this, writeToChip = std::move(writeToChip)] {
        writeToChip();
        showComparison();
    });
    connect(take_, &QPushButton::clicked, this, [this, take = std::move(takeChipValues)] {
        take();
        showComparison();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(620, 360);
}

void ComparisonDialog::showComparison() {
    const std::vector<quint8> differing = s_.chip.differingRegisters(s_.image);
    table_->setRowCount(int(differing.size()));
    int row = 0;
    for (quint8 address : differing) {
        const QStringList cells = {QString::asprintf("0x%02X", address),
                                   QString::fromLatin1(configurationFieldNames(address)),
                                   byteText(s_.image[address]), byteText(s_.chip.value(address))};
        for (int column = 0; column < cells.size(); ++column)
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        ++row;
    }
    table_->resizeColumnsToContents();
    const bool open = i2c_is_open(s_.adapter);
    write_->setEnabled(open && !differing.empty());
    // Taking the chip's values needs every differing register known.
    bool allKnown = !differing.empty();
    for (quint8 address : differing)
        allKnown = allKnown && s_.chip.value(address).has_value();
    take_->setEnabled(allKnown);
}
