#ifndef ANSWERPOLICY_H
#define ANSWERPOLICY_H

#include <QByteArray>
#include <QtGlobal>

// What answer to await after a send, and for how long.
struct AnswerPolicy
{
    qint32 timeout = 0;       // wait after each transmission, in units of 50 ms; 0: no answer awaited
    qint32 retries = 0;       // retransmissions before the frame is dropped
    quint8 answerCommand = 0; // command code the answer carries (1 = COACKN)
    QByteArray answerPrefix;  // bytes the answer's data must begin with, from answerOffset; empty: any
    qint32 answerOffset = 0;
};

#endif // ANSWERPOLICY_H
