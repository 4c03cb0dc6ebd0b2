#include "modulelistview.h"

#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QTableWidget>

namespace {

// The module table shows this many rows before it scrolls.
constexpr int moduleRowsShown = 10;
// The erase targets stand out from the other modules: bold, on a lamp-amber tint.
const QColor daliRowTint(0xFF, 0xF1, 0xD0);
// The table cells carry the module's id (UserRole) and its label (labelRole).
constexpr int labelRole = Qt::UserRole + 1;

} // namespace

ModuleListView::ModuleListView(QComboBox *list, QTableWidget *table, QObject *parent)
    : QObject(parent)
    , list(list)
    , table(table)
{
    QHeaderView *header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Tab moves on to the next control; rows are chosen by click or arrow keys.
    table->setTabKeyNavigation(false);
    // The chosen row keeps its colour when the focus is elsewhere, instead of turning light grey
    // beside the amber of the other DALI rows.
    QPalette palette = table->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    table->setPalette(palette);
    // Compact until a scan fills it: the header alone.
    table->setMaximumHeight(header->sizeHint().height() + 2 * table->frameWidth());
    connect(table, &QTableWidget::itemSelectionChanged, this, &ModuleListView::followTable);
}

void ModuleListView::show(const ModuleTable &modules, quint32 target)
{
    const QScopedValueRollback<bool> quiet(syncing, true);
    list->clear();
    for (const ModuleTable::Module &module : modules.daliInterfaces())
        list->addItem(module.label(), QVariant(uint(module.id)));
    table->setRowCount(0);
    for (const ModuleTable::Module &module : modules.modules) {
        const int row = table->rowCount();
        table->insertRow(row);
        const QStringList cells{module.typeName(), QString::number(module.type()),
                                QString::number(module.serial()), QString::number(module.version)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *cell = new QTableWidgetItem(cells.at(column));
            cell->setData(Qt::UserRole, uint(module.id));
            cell->setData(labelRole, module.label());
            if (module.isDaliInterface()) {
                QFont bold = cell->font();
                bold.setBold(true);
                cell->setFont(bold);
                cell->setBackground(daliRowTint);
            }
            table->setItem(row, column, cell);
        }
    }
    select(target);
    if (!modules.modules.isEmpty())
        fitRows();
}

void ModuleListView::fitRows()
{
    const int rowsHeight =
        qMin(table->verticalHeader()->length(), moduleRowsShown * table->verticalHeader()->sectionSize(0));
    table->setMaximumHeight(QWIDGETSIZE_MAX);
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() + rowsHeight +
                            2 * table->frameWidth());
}

void ModuleListView::select(quint32 target)
{
    const QScopedValueRollback<bool> quiet(syncing, true);
    list->setCurrentIndex(target ? list->findData(QVariant(uint(target))) : -1);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (target != 0 && table->item(row, 0)->data(Qt::UserRole).toUInt() == target)
            table->selectRow(row);
    }
}

void ModuleListView::followList(int index)
{
    const QVariant id = list->itemData(index);
    if (syncing || !id.isValid())
        return;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->data(Qt::UserRole) == id)
            table->selectRow(row); // followTable reports it
    }
}

void ModuleListView::followTable()
{
    const QList<QTableWidgetItem *> selected = table->selectedItems();
    if (syncing || selected.isEmpty())
        return;
    emit rowChosen(selected.first()->data(Qt::UserRole).toUInt(),
                   selected.first()->data(labelRole).toString());
}
