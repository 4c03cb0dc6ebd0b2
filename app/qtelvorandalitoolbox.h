#ifndef QTELVORANDALITOOLBOX_H
#define QTELVORANDALITOOLBOX_H

#include <QMainWindow>

namespace Ui {
class qtelvorandalitoolbox;
}

// The toolbox's only window: the form, the endpoint choice, the bus scan and the DALI erase.
class qtelvorandalitoolbox : public QMainWindow
{
    Q_OBJECT

public:
    explicit qtelvorandalitoolbox(QWidget *parent = nullptr);
    ~qtelvorandalitoolbox() override;

private slots:
    void on_comboScan_currentIndexChanged(int index);

private:
    Ui::qtelvorandalitoolbox *ui;
};

#endif // QTELVORANDALITOOLBOX_H
