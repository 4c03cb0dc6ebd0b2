#ifndef SIMFAULTS_H
#define SIMFAULTS_H

#include <QRandomGenerator>
#include <QtGlobal>

// Scripted misbehaviour of the simulated hardware, so that the PC's retry and acknowledgement logic
// can be tried: lost frames in either direction, broken checksums, slow answers, missing acks.
class SimFaults
{
public:
    int dropRxPct = 0;  // share of frames from the PC that never arrive
    int dropTxPct = 0;  // share of frames to the PC that are lost
    int corruptPct = 0; // share of frames to the PC whose checksum is broken
    int delayMs = 0;    // every frame to the PC leaves this much later
    int nackPct = 0;    // share of acknowledgements sent as CONACK (busy, the PC waits on)
    bool noAck = false; // acknowledgements are withheld
    bool noEnd = false; // a scan never sends its end-of-scan report

    // Seeds the generator; without a seed every run draws differently.
    void seed(quint32 value) { random.seed(value); }
    void seedRandomly() { random.seed(QRandomGenerator::global()->generate()); }

    bool dropRx() { return hits(dropRxPct); }
    bool dropTx() { return hits(dropTxPct); }
    bool corrupt() { return hits(corruptPct); }
    bool nack() { return hits(nackPct); }

private:
    // 0 and 100 never draw, so that those settings stay exact whatever the seed.
    bool hits(int pct)
    {
        if (pct <= 0)
            return false;
        if (pct >= 100)
            return true;
        return int(random.bounded(100u)) < pct;
    }

    QRandomGenerator random{1u};
};

#endif // SIMFAULTS_H
