#include "d2xxdriver.h"
#include "faked2xxdriver.h"
#include "ftd2xx.h"

#include <QtTest>

// The platform backend behind the FT_ calls (libftdi1 here), on a machine without a bus device:
// what can be checked without hardware is that it lists nothing, fails opens with a status
// instead of crashing, and never takes a stranger's pointer for one of its handles.
class TstD2xxLibftdi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsNoDeviceAndRefusesOpen();
    void rejectsForeignHandles();
    void installedBackendServesTheCallsUntilRemoved();

private:
    bool deviceAttached();
};

void TstD2xxLibftdi::init()
{
    installD2xxDriver(nullptr);
}

bool TstD2xxLibftdi::deviceAttached()
{
    quint32 count = 0;
    return FT_CreateDeviceInfoList(&count) == FT_OK && count > 0;
}

void TstD2xxLibftdi::listsNoDeviceAndRefusesOpen()
{
    quint32 count = 99;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    if (count > 0)
        QSKIP("a bus device is attached to this machine");
    QCOMPARE(count, 0u);

    FT_DEVICE_LIST_INFO_NODE node{};
    quint32 listed = 99;
    QCOMPARE(FT_GetDeviceInfoList(&node, &listed), FT_STATUS(FT_OK));
    QCOMPARE(listed, 0u);

    quint32 flags = 0, type = 0, id = 0, locId = 0;
    char serialNumber[16] = {};
    char description[64] = {};
    FT_HANDLE detailHandle = nullptr;
    QVERIFY(FT_GetDeviceInfoDetail(0, &flags, &type, &id, &locId, serialNumber, description, &detailHandle) !=
            FT_OK);

    FT_HANDLE handle = nullptr;
    QVERIFY(FT_Open(0, &handle) != FT_OK);
    QVERIFY(!handle);
    QVERIFY(FT_Open(-1, &handle) != FT_OK);
}

void TstD2xxLibftdi::rejectsForeignHandles()
{
    if (deviceAttached())
        QSKIP("a bus device is attached to this machine");
    int notAHandle = 0;
    FT_HANDLE foreign = &notAHandle;
    quint32 count = 0;
    char buffer[16] = {};
    const FT_STATUS invalid = FT_INVALID_HANDLE;
    QCOMPARE(FT_SetBaudRate(foreign, 38400), invalid);
    QCOMPARE(FT_SetDataCharacteristics(foreign, 8, 0, 0), invalid);
    QCOMPARE(FT_GetQueueStatus(foreign, &count), invalid);
    QCOMPARE(FT_Read(foreign, buffer, sizeof buffer, &count), invalid);
    QCOMPARE(FT_Write(foreign, buffer, sizeof buffer, &count), invalid);
    QCOMPARE(FT_Close(foreign), invalid);
    QCOMPARE(FT_Close(nullptr), invalid);
    QCOMPARE(notAHandle, 0);
}

void TstD2xxLibftdi::installedBackendServesTheCallsUntilRemoved()
{
    if (deviceAttached())
        QSKIP("a bus device is attached to this machine");
    auto fake = std::make_unique<FakeD2xxDriver>();
    fake->addDevice();
    FakeD2xxDriver *installed = fake.get();
    installD2xxDriver(std::move(fake));

    quint32 count = 0;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, 1u);
    QCOMPARE(installed->calls, QStringList{"CreateDeviceInfoList"});

    const std::unique_ptr<D2xxDriver> removed = installD2xxDriver(nullptr);
    QCOMPARE(removed.get(), static_cast<D2xxDriver *>(installed));
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, 0u);
}

QTEST_GUILESS_MAIN(TstD2xxLibftdi)
#include "tst_d2xx_libftdi.moc"
