#ifndef MODULELISTVIEW_H
#define MODULELISTVIEW_H

#include "moduletable.h"

#include <QObject>

class QComboBox;
class QTableWidget;

// The modules of the current endpoint's scan in the window: the DALI interface modules as erase
// targets in the module list, every module in the table (the targets in bold, on amber), the
// chosen target selected in both.
class ModuleListView : public QObject
{
    Q_OBJECT

public:
    ModuleListView(QComboBox *list, QTableWidget *table, QObject *parent = nullptr);

    void show(const ModuleTable &modules, quint32 target);
    // Selects the target in both, without a rowChosen; 0 selects none.
    void select(quint32 target);
    // The module list's entry chosen: its row in the table is chosen with it.
    void followList(int index);

signals:
    // The user chose the row of this module (a DALI interface module or any other).
    void rowChosen(quint32 moduleId, const QString &label);

private:
    void followTable();
    void fitRows();

    QComboBox *list;
    QTableWidget *table;
    bool syncing = false;
};

#endif // MODULELISTVIEW_H
