#ifndef QUIETDECODING_H
#define QUIETDECODING_H

// While one lives, the frame decoder writes no diagnostics: for frames decoded again only to be shown
// (the Bus traffic window draws its lines again and again), whose diagnostics were written when they
// were received. The log then has one set of lines per frame received. GUI thread only.
class QuietDecoding
{
public:
    QuietDecoding();
    ~QuietDecoding();
    QuietDecoding(const QuietDecoding &) = delete;
    QuietDecoding &operator=(const QuietDecoding &) = delete;

    static bool active();
};

#endif // QUIETDECODING_H
