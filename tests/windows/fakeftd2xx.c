/* A stand-in for the vendor's D2XX driver DLL, built as ftd2xx.dll for the loader test under Wine and
 * exporting the calls by the driver's ordinals (fakeftd2xx.def). Two USB devices are attached; every call
 * is recorded with its arguments, one line each, and the next call can be told to fail. */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

/* The driver's device-list record, written out here on its own: a layout fault of the loader's record
 * then shows as a wrong field. The fake keeps no open state, so both devices are listed closed. */
typedef struct
{
    DWORD Flags, Type, ID, LocId;
    char SerialNumber[16];
    char Description[64];
    void *ftHandle;
} Node;

static const Node devices[] = {{0, 5, 0x0403EF51, 0x0121, "VT000417", "Telvoran vtap", NULL},
                               {0, 5, 0x0403EF50, 0x0122, "KV001203", "Telvoran KVMX bus master", NULL}};
static const char *waiting[] = {"", "\x02"
                                    "AB\x03\xFF"}; /* the bytes each device holds for the PC */
enum { deviceCount = sizeof devices / sizeof devices[0] };
enum { ok = 0, invalidHandle = 1, notFound = 2 };

static char calls[4096];
static DWORD refusal = ok;

/* Appends the call to the record; gives the status it returns: the refused one, else `status`. */
static DWORD called(DWORD status, const char *format, ...)
{
    size_t used = strlen(calls);
    va_list args;
    va_start(args, format);
    vsnprintf(calls + used, sizeof calls - used, format, args);
    va_end(args);
    DWORD refused = refusal;
    refusal = ok;
    return refused != ok ? refused : status;
}

/* A device's handle is its list index plus one; any other handle stands for none (-1). */
static int indexOf(void *handle)
{
    INT_PTR i = (INT_PTR)handle - 1;
    return i >= 0 && i < deviceCount ? (int)i : -1;
}

static DWORD statusOf(void *handle)
{
    return indexOf(handle) < 0 ? invalidHandle : ok;
}

const char *fakeCalls(void)
{
    return calls;
}

void fakeRefuseNext(DWORD status)
{
    refusal = status;
}

DWORD WINAPI FT_CreateDeviceInfoList(DWORD *numDevs)
{
    *numDevs = deviceCount;
    return called(ok, "FT_CreateDeviceInfoList\n");
}

DWORD WINAPI FT_GetDeviceInfoList(Node *list, DWORD *numDevs)
{
    memcpy(list, devices, sizeof devices);
    *numDevs = deviceCount;
    return called(ok, "FT_GetDeviceInfoList\n");
}

DWORD WINAPI FT_GetDeviceInfoDetail(DWORD index, DWORD *flags, DWORD *type, DWORD *id, DWORD *locId,
                                    char *serialNumber, char *description, void **handle)
{
    DWORD status = called(index < deviceCount ? ok : notFound, "FT_GetDeviceInfoDetail %lu\n", index);
    if (status != ok)
        return status;
    const Node *node = &devices[index];
    *flags = node->Flags, *type = node->Type, *id = node->ID, *locId = node->LocId;
    memcpy(serialNumber, node->SerialNumber, sizeof node->SerialNumber);
    memcpy(description, node->Description, sizeof node->Description);
    *handle = node->ftHandle;
    return ok;
}

DWORD WINAPI FT_Open(int index, void **handle)
{
    DWORD status = called(index >= 0 && index < deviceCount ? ok : notFound, "FT_Open %d\n", index);
    if (status == ok)
        *handle = (void *)(INT_PTR)(index + 1);
    return status;
}

DWORD WINAPI FT_SetBaudRate(void *handle, DWORD baudRate)
{
    return called(statusOf(handle), "FT_SetBaudRate %d %lu\n", indexOf(handle), baudRate);
}

DWORD WINAPI FT_SetDataCharacteristics(void *handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return called(statusOf(handle), "FT_SetDataCharacteristics %d %u %u %u\n", indexOf(handle), wordLength,
                  stopBits, parity);
}

DWORD WINAPI FT_GetQueueStatus(void *handle, DWORD *rxBytes)
{
    DWORD status = called(statusOf(handle), "FT_GetQueueStatus %d\n", indexOf(handle));
    if (status == ok)
        *rxBytes = (DWORD)strlen(waiting[indexOf(handle)]);
    return status;
}

DWORD WINAPI FT_Read(void *handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    int i = indexOf(handle);
    DWORD status = called(statusOf(handle), "FT_Read %d %lu\n", i, bytesToRead);
    if (status != ok)
        return status;
    *bytesReturned = min((DWORD)strlen(waiting[i]), bytesToRead);
    memcpy(buffer, waiting[i], *bytesReturned);
    waiting[i] += *bytesReturned;
    return ok;
}

DWORD WINAPI FT_Write(void *handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    char hex[2 * 64 + 1] = "";
    for (DWORD at = 0; at < bytesToWrite && at < 64; ++at)
        sprintf(hex + 2 * at, "%02X", ((const unsigned char *)buffer)[at]);
    DWORD status = called(statusOf(handle), "FT_Write %d %lu %s\n", indexOf(handle), bytesToWrite, hex);
    if (status == ok)
        *bytesWritten = bytesToWrite;
    return status;
}

DWORD WINAPI FT_Close(void *handle)
{
    return called(statusOf(handle), "FT_Close %d\n", indexOf(handle));
}
