#ifndef INVENTORYEXPORT_H
#define INVENTORYEXPORT_H

#include <QString>

class QWidget;
class ScanResult;

// Export inventory...: a scan's inventory saved as CSV or JSON through a file dialog that starts in
// the folder of the last export, or in the user's Documents folder before the first one.
class InventoryExport
{
public:
    // Asks where, and saves; the path saved to (as the system writes paths), or empty when the user
    // cancelled or the file could not be written (which is said in a message box).
    QString save(QWidget *parent, const ScanResult &scan);

private:
    QString folder; // where the last export went
};

#endif // INVENTORYEXPORT_H
