#ifndef CONNECTDIALOG_H
#define CONNECTDIALOG_H

#include <QDialog>
#include <QUrl>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;

// Connect to...: an Ethernet interface module (host, port, UDP or TCP, optional user and password)
// or a serial line (a listed port or any device path, baud rate). The dialog only closes with an
// endpoint URL that the link can open; input that cannot make one is refused with the reason.
class ConnectDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConnectDialog(QWidget *parent = nullptr);

    // The endpoint the user asked for; valid once the dialog was accepted.
    QUrl endpoint() const { return url; }

    // The URL of an Ethernet module, or an empty URL and the reason in error.
    static QUrl ethernetUrl(const QString &host, int port, bool tcp, const QString &user,
                            const QString &password, QString &error);
    // The URL of a serial line: a port name as the system lists it (ttyUSB0, COM3), a COM port's name
    // on Windows, or elsewhere a device path (/dev/serial/by-id/..., a pseudo-terminal); an empty URL
    // and the reason in error.
    static QUrl serialUrl(const QString &device, const QString &baud, QString &error);

    static constexpr int defaultBaud = 38400;

public slots:
    void accept() override;

private:
    QWidget *ethernetPage();
    QWidget *serialPage();

    QTabWidget *kinds;
    QLineEdit *host;
    QSpinBox *port;
    QRadioButton *udp;
    QRadioButton *tcp;
    QLineEdit *user;
    QLineEdit *password;
    QComboBox *device;
    QComboBox *baud;
    QLabel *problem;
    QUrl url;
};

#endif // CONNECTDIALOG_H
