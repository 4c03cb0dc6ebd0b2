#ifndef FAKEUSBBUS_H
#define FAKEUSBBUS_H

#include <QByteArrayList>
#include <QPair>
#include <QStringList>
#include <deque>
#include <libusb.h>

// USB-serial chips emulated at the libusb boundary, so that libftdi runs for real above them
// (fakeusbbus.cpp defines the libusb_* calls). One bus at a time.
class FakeUsbBus
{
public:
    // An FT232R-type chip: 64-byte packets, one interface, port index 1.
    struct Chip
    {
        quint16 productId = 0; // vendor 0x0403
        quint8 address = 0;
        QByteArray product, serial; // string descriptors
        // Bytes for the PC: a piece ends its bulk IN transfer; none left, the chip sends its status only.
        QByteArrayList rx;
        QByteArray written;   // every byte taken from bulk OUT
        QStringList requests; // every vendor request as "request value index", in hex; "clear halt EP"
        int inResult = 0;     // the result of every bulk IN transfer, after its packets (a stall sends none)
        // Per bulk OUT transfer: the result and the most bytes taken before it. Empty: all taken, 0.
        QList<QPair<int, int>> outScript;
        QString refuse;                              // a request, as recorded, that stalls
        bool busy = false;                           // its interface is claimed by another program
        bool gone = false;                           // unplugged: LIBUSB_ERROR_NO_DEVICE from every call
        int handles = 0, claims = 0, references = 0; // opened, claimed, listed: not yet given back
    };

    FakeUsbBus() { bus = this; }
    ~FakeUsbBus() { bus = nullptr; }

    Chip &attach(quint16 productId, const QByteArray &product = "KVMX")
    {
        Chip &chip = chips.emplace_back();
        chip.productId = productId, chip.product = product, chip.address = quint8(chips.size() + 1);
        return chip.serial = "TV" + QByteArray::number(chip.address), chip;
    }
    // Contexts, handles, claims and device references that libftdi and the driver did not give back.
    int leftovers() const
    {
        int count = contexts;
        for (const Chip &chip : chips)
            count += chip.handles + chip.claims + chip.references;
        return count;
    }

    static inline FakeUsbBus *bus = nullptr;
    std::deque<Chip> chips; // in bus order; a deque keeps each chip in place
    int contexts = 0;
};

#endif // FAKEUSBBUS_H
