#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding like a crash: name it, then abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition) ((condition) ? void() : fuzzFailed(#condition, __FILE__, __LINE__))

[[noreturn]] inline void fuzzFailed(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

// Once per process: a silent log (the toolbox logs every frame it rejects), and the application object
// that timers and deferred deletion need.
inline bool setUpProcess()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz", *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return true;
}

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

#endif // FUZZSUPPORT_H
