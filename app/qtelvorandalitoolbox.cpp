#include "qtelvorandalitoolbox.h"
#include "ui_qtelvorandalitoolbox.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>

// The logo and the window icon are compiled into this static library; nothing refers to the bundle by
// name, so without this the linker would leave it out of the program.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

qtelvorandalitoolbox::qtelvorandalitoolbox(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::qtelvorandalitoolbox)
{
    registerResources();
    auto *quitAction = new QAction(this);
    qSetMessagePattern(QStringLiteral("%{file}:%{line} - %{message}"));
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/winico")));
    setWindowTitle(QStringLiteral("Telvoran2 DALI toolbox (") + QCoreApplication::applicationVersion() +
                   QLatin1Char(')'));

    // Without a menu bar the action must belong to the window for its shortcut to fire.
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    addAction(quitAction);

    adjustSize();
}

qtelvorandalitoolbox::~qtelvorandalitoolbox()
{
    delete ui;
}

// The module entry can be wider than the list was; the window follows its width.
void qtelvorandalitoolbox::on_comboScan_currentIndexChanged(int /*index*/)
{
    adjustSize();
}
