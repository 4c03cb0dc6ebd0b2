// Throughput of the receive-stream framing, through the link's receive pass with nothing open.
// The per-byte cost must not depend on the stream length: the cutter works from a moving offset
// and does not search again bytes that wait across passes. The floor for dense short lines is one
// memchr per line over the same bytes, which no cutter that finds the lines can beat.

#include "mydiftdi.h"

#include <benchmark/benchmark.h>

#include <cstring>

#define STX "\x02"
#define ETX "\x03"

namespace {

constexpr int piece = 4096;

// Frames, session lines and line noise, in an irregular mix.
QByteArray mixedStream(int size)
{
    const QByteArray units[] = {
        STX "BD0231F0" ETX,
        STX "0C0201050A00000000000000000112" ETX,
        "INFO:HELLO:INFO\r\n",
        "xyz",
        STX "0C0201" STX "0C020105" ETX,
    };
    QByteArray stream;
    stream.reserve(size + 64);
    for (unsigned i = 0; stream.size() < size; i = i * 7 + 3)
        stream += units[i % 5];
    return stream;
}

void drain(MyDiFtdi &link)
{
    while (link.itemCount() > 0)
        benchmark::DoNotOptimize(link.takeItem());
}

// The pieces are made beforehand, as a transport hands over what it read (readAll(), a datagram).
void feed(benchmark::State &state, const QByteArray &stream, int chunk)
{
    QByteArrayList pieces;
    for (int at = 0; at < stream.size(); at += chunk)
        pieces.append(stream.mid(at, chunk));
    MyDiFtdi link;
    for (auto _ : state) {
        for (const QByteArray &piece : pieces) {
            link.receivePass(piece);
            drain(link);
        }
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}

void BM_MixedAtOnce(benchmark::State &state)
{
    const QByteArray stream = mixedStream(int(state.range(0)));
    feed(state, stream, stream.size());
}

void BM_MixedInPieces(benchmark::State &state)
{
    feed(state, mixedStream(int(state.range(0))), piece);
}

// Session lines and nothing else, as short as they come ("OK\r\n"): the cost per item.
QByteArray denseLines(int size)
{
    return QByteArray("OK\r\n").repeated(size / 4);
}

void BM_DenseLinesInPieces(benchmark::State &state)
{
    feed(state, denseLines(int(state.range(0))), piece);
}

void BM_DenseLinesFloor(benchmark::State &state)
{
    const QByteArray stream = denseLines(int(state.range(0)));
    for (auto _ : state) {
        const char *at = stream.constData();
        const char *const end = at + stream.size();
        int lines = 0;
        while (const void *cr = std::memchr(at, '\r', size_t(end - at))) {
            at = static_cast<const char *>(cr) + 1;
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}

// A frame start whose ETX never comes: it waits across passes until the buffer bound lets it go.
void BM_UnendedFrameInPieces(benchmark::State &state)
{
    QByteArray stream(int(state.range(0)), 'A');
    stream[0] = STX[0];
    feed(state, stream, piece);
}

// Bytes with no delimiter at all, also held until the bound.
void BM_NoiseInPieces(benchmark::State &state)
{
    feed(state, QByteArray(int(state.range(0)), 'x'), piece);
}

} // namespace

BENCHMARK(BM_MixedAtOnce)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_MixedInPieces)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_DenseLinesFloor)->Arg(64 << 10);
BENCHMARK(BM_DenseLinesInPieces)->Arg(64 << 10);
BENCHMARK(BM_UnendedFrameInPieces)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_NoiseInPieces)->Arg(64 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();
