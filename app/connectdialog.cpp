#include "connectdialog.h"

#include "buscodes.h"
#include "endpoint.h"
#include "serialportdescription.h"
#include "serialportname.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

const QList<int> commonBauds{9600, 19200, 38400, 57600, 115200};

} // namespace

ConnectDialog::ConnectDialog(QWidget *parent)
    : QDialog(parent)
    , kinds(new QTabWidget(this))
    , problem(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Connect to"));
    kinds->setObjectName(QStringLiteral("kinds"));
    kinds->addTab(ethernetPage(), QStringLiteral("&Ethernet interface module"));
    kinds->addTab(serialPage(), QStringLiteral("Se&rial line"));

    problem->setObjectName(QStringLiteral("problem"));
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #b00020"));
    problem->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Connect"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConnectDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(kinds);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    host->setFocus();
}

QWidget *ConnectDialog::ethernetPage()
{
    auto *page = new QWidget;
    host = new QLineEdit(page);
    host->setObjectName(QStringLiteral("host"));
    host->setPlaceholderText(QStringLiteral("host name, IPv4 or IPv6 address"));
    port = new QSpinBox(page);
    port->setObjectName(QStringLiteral("port"));
    port->setRange(1, 65535);
    port->setValue(ethModulePort);
    udp = new QRadioButton(QStringLiteral("&UDP"), page);
    udp->setObjectName(QStringLiteral("udp"));
    udp->setChecked(true);
    tcp = new QRadioButton(QStringLiteral("&TCP"), page);
    tcp->setObjectName(QStringLiteral("tcp"));
    user = new QLineEdit(page);
    user->setObjectName(QStringLiteral("user"));
    user->setPlaceholderText(QStringLiteral("optional"));
    password = new QLineEdit(page);
    password->setObjectName(QStringLiteral("password"));
    password->setEchoMode(QLineEdit::Password);
    password->setPlaceholderText(QStringLiteral("optional: LOGIN without a password"));

    auto *protocol = new QHBoxLayout;
    protocol->addWidget(udp);
    protocol->addWidget(tcp);
    protocol->addStretch();
    auto *form = new QFormLayout(page);
    form->addRow(QStringLiteral("&Host:"), host);
    form->addRow(QStringLiteral("&Port:"), port);
    form->addRow(QStringLiteral("Protocol:"), protocol);
    form->addRow(QStringLiteral("U&ser:"), user);
    form->addRow(QStringLiteral("Pass&word:"), password);
    return page;
}

QWidget *ConnectDialog::serialPage()
{
    auto *page = new QWidget;
    device = new QComboBox(page);
    device->setObjectName(QStringLiteral("device"));
    device->setEditable(true);
    for (const SerialPortDescription &listed : availableSerialPorts())
        device->addItem(listed.portName);
    device->lineEdit()->setPlaceholderText((SerialPortName::byPath()
                                                ? QStringLiteral("a listed port, or a path such as %1")
                                                : QStringLiteral("a listed port, or a name such as %1"))
                                               .arg(SerialPortName::example()));
    device->setMinimumContentsLength(28);
    baud = new QComboBox(page);
    baud->setObjectName(QStringLiteral("baud"));
    baud->setEditable(true);
    for (int rate : commonBauds)
        baud->addItem(QString::number(rate));
    baud->setCurrentText(QString::number(defaultBaud));
    baud->setValidator(new QIntValidator(1, 99999999, baud));

    auto *form = new QFormLayout(page);
    form->addRow(QStringLiteral("&Device:"), device);
    form->addRow(QStringLiteral("&Baud rate:"), baud);
    return page;
}

void ConnectDialog::accept()
{
    QString error;
    url = kinds->currentIndex() == 0 ? ethernetUrl(host->text(), port->value(), tcp->isChecked(),
                                                   user->text(), password->text(), error)
                                     : serialUrl(device->currentText(), baud->currentText(), error);
    if (url.isEmpty()) {
        problem->setText(error);
        problem->show();
        return;
    }
    QDialog::accept();
}

QUrl ConnectDialog::ethernetUrl(const QString &host, int port, bool tcp, const QString &user,
                                const QString &password, QString &error)
{
    const QString name = host.trimmed();
    if (name.isEmpty()) {
        error = QStringLiteral("Enter the module's host name or IP address.");
        return QUrl();
    }
    // A bare number would be read as an IPv4 address (38265 is 0.0.149.121): a port typed in the
    // wrong field, most likely.
    bool number = false;
    static_cast<void>(name.toLongLong(&number));
    if (number) {
        error = QStringLiteral("\"%1\" is no host name or IP address: give the port in the Port field.")
                    .arg(name);
        return QUrl();
    }
    const Endpoint chosen =
        Endpoint::ethernet(tcp ? Endpoint::Tcp : Endpoint::Udp, name, quint16(port), user, password);
    if (!chosen.isValid()) {
        error = QStringLiteral("\"%1\" is neither a host name nor an IP address.").arg(name);
        return QUrl();
    }
    if (port < 1 || port > 65535) {
        error = QStringLiteral("The port must be between 1 and 65535.");
        return QUrl();
    }
    // The module reads the LOGIN's password as Latin-1 bytes.
    if (QString::fromLatin1(password.toLatin1()) != password) {
        error = QStringLiteral("The password can only hold Latin-1 characters.");
        return QUrl();
    }
    return chosen.url();
}

QUrl ConnectDialog::serialUrl(const QString &device, const QString &baud, QString &error)
{
    const QString typed = device.trimmed();
    bool numeric = false;
    const int rate = baud.trimmed().toInt(&numeric);
    // Where the list lacks a port, Windows users type its COM name, others its device path.
    const bool byPath = SerialPortName::byPath();
    if (typed.isEmpty()) {
        error = (byPath ? QStringLiteral("Choose a serial port, or type its device path (e.g. %1).")
                        : QStringLiteral("Choose a serial port, or type its name (e.g. %1)."))
                    .arg(SerialPortName::example());
        return QUrl();
    }
    if (!numeric || rate <= 0) {
        error = QStringLiteral("The baud rate must be a whole number, e.g. %1.").arg(defaultBaud);
        return QUrl();
    }
    // A listed port keeps the URL form of discovery; any other device is named by its path.
    for (const SerialPortDescription &listed : availableSerialPorts()) {
        if (listed.portName.compare(typed, Qt::CaseInsensitive) == 0 || listed.systemLocation == typed)
            return Endpoint::serialPort(listed.portName, rate).url();
    }
    QString name;
    QString location;
    if (SerialPortName::unlisted(typed, name, location))
        return Endpoint::serialPort(name, rate).url();
    if (!byPath || !typed.startsWith(QLatin1Char('/'))) {
        error =
            (byPath ? QStringLiteral("No serial port named \"%1\" is listed. Type its device path instead "
                                     "(e.g. %2).")
                    : QStringLiteral("No serial port named \"%1\" is listed. Type a COM port's name instead "
                                     "(e.g. %2)."))
                .arg(typed, SerialPortName::example());
        return QUrl();
    }
    const Endpoint chosen = Endpoint::serialDevice(typed, rate);
    if (!chosen.isValid()) {
        error = QStringLiteral("\"%1\" cannot name a serial device.").arg(typed);
        return QUrl();
    }
    return chosen.url();
}
