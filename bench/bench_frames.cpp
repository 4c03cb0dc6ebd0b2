// Decode and encode cost of MyFrameDec, next to the plainest hex-pair decoder of the same frames as
// the floor that no record-building decoder can beat.
#include "myframedec.h"

#include <benchmark/benchmark.h>

#include <array>

namespace {

QByteArray scanRequest()
{
    return QByteArray("\x02") + "BD0231F0" + QByteArray("\x03");
}

// A module table as the bus master reports it during a scan: 6 header bytes, then 8 records of 8.
QByteArray moduleTableReport()
{
    QByteArray payload = QByteArray::fromHex("00F000000040");
    for (int record = 0; record < 8; ++record)
        payload += QByteArray::fromHex("3F0001020A0B0C0D");
    MyFrameDec frame;
    frame.setFrame(1, 0x04, 0x18, 0x20, 3, 2, 0x01000001, 0, 0x16, payload);
    return frame.text();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

void decodeFloor(benchmark::State &state, const QByteArray &text)
{
    std::array<unsigned char, 256> bytes{};
    for (auto _ : state) {
        const char *digits = text.constData() + 1;
        const int count = (text.size() - 2) / 2;
        unsigned sum = 0;
        for (int i = 0; i < count - 1; ++i, digits += 2) {
            bytes[i] = static_cast<unsigned char>(hexValue(digits[0]) << 4 | hexValue(digits[1]));
            sum += bytes[i];
        }
        bytes[count - 1] = static_cast<unsigned char>(hexValue(digits[0]) << 4 | hexValue(digits[1]));
        bool matched = bytes[count - 1] == static_cast<unsigned char>(sum);
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(matched);
        benchmark::ClobberMemory();
    }
}

void decode(benchmark::State &state, const QByteArray &text)
{
    if (!MyFrameDec(text, false).isValid())
        state.SkipWithError("frame does not decode");
    for (auto _ : state) {
        MyFrameDec frame(text, false);
        benchmark::DoNotOptimize(frame.isValid());
    }
}

void BM_DecodeScanFloor(benchmark::State &state)
{
    decodeFloor(state, scanRequest());
}

void BM_DecodeScan(benchmark::State &state)
{
    decode(state, scanRequest());
}

void BM_DecodeModuleTableFloor(benchmark::State &state)
{
    decodeFloor(state, moduleTableReport());
}

void BM_DecodeModuleTable(benchmark::State &state)
{
    decode(state, moduleTableReport());
}

void BM_EncodeErase(benchmark::State &state)
{
    const QByteArray eraseData = QByteArray::fromHex("3FF1");
    MyFrameDec frame;
    frame.setFrame(1, 0x04, 0x18, 0x20, 2, 3, 0, 0x3F12D687, 0x1F, eraseData);
    if (frame.text() != QByteArray("\x02") + "BD0E3F12D6871F3FF1C8" + QByteArray("\x03"))
        state.SkipWithError("unexpected erase request");
    for (auto _ : state) {
        MyFrameDec erase;
        erase.setFrame(1, 0x04, 0x18, 0x20, 2, 3, 0, 0x3F12D687, 0x1F, eraseData);
        benchmark::DoNotOptimize(erase.text().constData());
    }
}

} // namespace

BENCHMARK(BM_DecodeScanFloor);
BENCHMARK(BM_DecodeScan);
BENCHMARK(BM_DecodeModuleTableFloor);
BENCHMARK(BM_DecodeModuleTable);
BENCHMARK(BM_EncodeErase);

BENCHMARK_MAIN();
