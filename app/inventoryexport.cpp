#include "inventoryexport.h"

#include "scanresult.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

QString InventoryExport::save(QWidget *parent, const ScanResult &scan)
{
    const QString csvFilter = QStringLiteral("CSV files (*.csv)");
    const QString startIn =
        folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) : folder;
    QFileDialog dialog(parent, QStringLiteral("Export inventory"), startIn,
                       csvFilter + QStringLiteral(";;JSON files (*.json)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without extension gets the one of the type chosen (and is checked for overwriting
    // with it).
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csvFilter](const QString &filter) {
            dialog.setDefaultSuffix(filter == csvFilter ? QStringLiteral("csv") : QStringLiteral("json"));
        });
    dialog.selectFile(QStringLiteral("telvoran-inventory-%1.csv")
                          .arg(scan.finishedAt.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    QString path = dialog.selectedFiles().constFirst();
    // The dialog takes a dot anywhere in a typed path (a folder "v1.2") for an extension.
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + dialog.defaultSuffix();
    const bool json = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) ||
                      (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) &&
                       dialog.selectedNameFilter() != csvFilter);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(json ? QJsonDocument(scan.toJson()).toJson(QJsonDocument::Indented) : scan.toCsv());
        if (file.commit()) {
            // The next export starts there.
            folder = QFileInfo(path).absolutePath();
            return QDir::toNativeSeparators(path);
        }
    }
    QMessageBox::warning(parent, parent->windowTitle(),
                         QStringLiteral("Could not save the inventory to %1: %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString()));
    return QString();
}
