// The platform backend behind the FT_ calls (libftdi1 here) on a machine without a bus device: it
// lists nothing, fails opens with a status instead of crashing, and never takes a stranger's pointer
// for one of its handles.
#include "d2xxdriver.h"
#include "ftd2xx.h"

#include <QtTest>

class TstD2xxLibftdi : public QObject
{
    Q_OBJECT

private slots:
    void withoutDevice()
    {
        installD2xxDriver(nullptr);
        quint32 count = 99;
        QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
        if (count > 0)
            QSKIP("a bus device is attached to this machine");
        FT_DEVICE_LIST_INFO_NODE node{};
        count = 99;
        QCOMPARE(FT_GetDeviceInfoList(&node, &count), FT_STATUS(FT_OK));
        QCOMPARE(count, 0u);
        FT_HANDLE handle = nullptr;
        QVERIFY(FT_Open(0, &handle) != FT_OK && !handle);

        int notAHandle = 0;
        FT_HANDLE foreign = &notAHandle;
        char buffer[16] = {};
        const FT_STATUS invalid = FT_INVALID_HANDLE;
        QCOMPARE(FT_SetBaudRate(foreign, 38400), invalid);
        QCOMPARE(FT_GetQueueStatus(foreign, &count), invalid);
        QCOMPARE(FT_Read(foreign, buffer, sizeof buffer, &count), invalid);
        QCOMPARE(FT_Write(foreign, buffer, sizeof buffer, &count), invalid);
        QCOMPARE(FT_Close(foreign), invalid);
        QCOMPARE(FT_Close(nullptr), invalid);
        QCOMPARE(notAHandle, 0);
    }
};

QTEST_GUILESS_MAIN(TstD2xxLibftdi)
#include "tst_d2xx_libftdi.moc"
