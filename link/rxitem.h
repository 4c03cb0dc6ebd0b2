#ifndef RXITEM_H
#define RXITEM_H

#include <QByteArray>
#include <QMetaType>

enum RxItemKind : int {
    RxBusFrame = 0,  // STX .. first ETX, no other STX and no CR LF inside
    RxTextLine = 1,  // up to and including the first CR LF, no STX before it
    RxOtherData = 2, // anything else: noise, cut-short frame starts, frames holding CR LF
};

// One unit cut from a link's received byte stream, delimiters included.
struct RxItem
{
    RxItemKind kind = RxBusFrame;
    bool complete = false;
    QByteArray data;
};

Q_DECLARE_METATYPE(RxItem)

#endif // RXITEM_H
