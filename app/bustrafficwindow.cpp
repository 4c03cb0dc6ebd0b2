#include "bustrafficwindow.h"

#include "trafficmodel.h"

#include <QAction>
#include <QBoxLayout>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QToolTip>

BusTrafficWindow::BusTrafficWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , traffic(new TrafficModel(this))
    , view(new QListView(this))
{
    setWindowTitle(QStringLiteral("Bus traffic"));
    view->setObjectName(QStringLiteral("trafficView"));
    view->setModel(traffic);
    // One height for every line: the view then lays out 10 000 lines without measuring them.
    view->setUniformItemSizes(true);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto *pause = new QPushButton(QStringLiteral("&Pause"), this);
    pause->setObjectName(QStringLiteral("butPause"));
    pause->setCheckable(true);
    auto *clear = new QPushButton(QStringLiteral("&Clear"), this);
    auto *saveButton = new QPushButton(QStringLiteral("&Save..."), this);
    connect(pause, &QPushButton::toggled, traffic, &TrafficModel::setPaused);
    connect(clear, &QPushButton::clicked, traffic, &TrafficModel::clear);
    connect(saveButton, &QPushButton::clicked, this, &BusTrafficWindow::save);

    // The view keeps to the newest line unless the reader has scrolled up.
    connect(traffic, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = view->verticalScrollBar();
        following = bar->value() == bar->maximum();
    });
    connect(traffic, &QAbstractItemModel::rowsInserted, this, [this] {
        if (following)
            view->scrollToBottom();
    });

    // Esc and Ctrl+W close it, as they close a secondary window elsewhere.
    auto *closeAction = new QAction(this);
    closeAction->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence::Close});
    closeAction->setShortcutContext(Qt::WindowShortcut);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
    // A line wider than the view shows in full on hover.
    view->viewport()->installEventFilter(this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pause);
    buttons->addWidget(clear);
    buttons->addStretch();
    buttons->addWidget(saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addLayout(buttons);
    resize(900, 400);
}

void BusTrafficWindow::append(const TrafficUnit &unit)
{
    traffic->append(unit);
}

void BusTrafficWindow::save()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save bus traffic"),
                                                      QStringLiteral("bus-traffic.txt"),
                                                      QStringLiteral("Text files (*.txt *.log)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(traffic->allLines().join(QLatin1Char('\n')).toUtf8() + '\n');
        if (file.commit())
            return;
    }
    QMessageBox::warning(
        this, windowTitle(),
        QStringLiteral("Could not save the bus traffic to %1: %2").arg(path, file.errorString()));
}

bool BusTrafficWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = view->indexAt(help->pos());
        const QString line = index.data().toString();
        if (index.isValid() && view->fontMetrics().horizontalAdvance(line) > view->viewport()->width() - 8)
            QToolTip::showText(help->globalPos(), line, view->viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
