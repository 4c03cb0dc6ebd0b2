#ifndef RXSCANSTATE_H
#define RXSCANSTATE_H

#include <algorithm>

// What the stream framing already knows about the receive buffer, so that bytes waiting across
// receive passes (a frame start whose ETX has not come yet, undelimited noise) are not searched
// again from the front on every pass. Positions are offsets into the receive buffer.
struct RxScanState
{
    // For one delimiter: its next occurrence, and how far the buffer is known to hold no other.
    struct Mark
    {
        int found = -1;    // the occurrence found last, -1 if the last search found none
        int checkedTo = 0; // the last search looked at every start before this one

        void dropFront(int count)
        {
            found = found >= count ? found - count : -1;
            checkedTo = std::max(0, checkedTo - count);
        }
    };

    // Searches of one mark must go forward only, also across passes, where the offset restarts at
    // the waiting unit. The STX that opens a unit and the STX that may cut it short are searched
    // from different offsets, hence two marks.
    Mark stx;      // first STX at the offset
    Mark laterStx; // first STX after the offset
    Mark etx;
    Mark crLf;
    // The buffer's size when the marks were left; a buffer found smaller was emptied meanwhile and
    // voids them (appending keeps them valid).
    int bufferSize = 0;
    // Set while cutting, so that a receive pass nested in the session handler leaves the cutting
    // to the pass already running.
    bool cutting = false;
    // The bytes before this offset came from a transport that was closed while they waited to be
    // cut: their lines no longer speak for a session.
    int closedTransportEnd = 0;

    void dropFront(int count)
    {
        stx.dropFront(count);
        laterStx.dropFront(count);
        etx.dropFront(count);
        crLf.dropFront(count);
        closedTransportEnd = std::max(0, closedTransportEnd - count);
    }
};

#endif // RXSCANSTATE_H
