/* A stand-in for the vendor's D2XX driver DLL, built as ftd2xx.dll for the loader test under Wine.
 * Two USB devices are attached: the vtap device, then a bus master holding five bytes for the PC.
 * Every call is recorded with its arguments, one line each; a call can be told to fail once.
 * fakeftd2xx.def exports the calls by the driver's ordinals. */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

/* The driver's device-list record, written out here on its own: a layout fault of the loader's
 * record then shows as a wrong field. */
typedef struct {
    DWORD Flags, Type, ID, LocId;
    char SerialNumber[16];
    char Description[64];
    void *ftHandle;
} Node;

typedef struct {
    DWORD id, locId;
    const char *serial, *description;
    const char *waiting; /* the bytes the device holds for the PC */
    int open;
} Device;

static Device devices[] = {
    {0x0403EF51, 0x0121, "VT000417", "Telvoran vtap", "", 0},
    {0x0403EF50, 0x0122, "KV001203", "Telvoran KVMX bus master", "\x02" "AB\x03\xFF", 0},
};
enum { deviceCount = sizeof devices / sizeof devices[0], typeOfChip = 5 };
enum { ok = 0, invalidHandle = 1, notFound = 2, notOpened = 3 };

static char calls[4096];
static char refusedCall[64];
static DWORD refusedStatus;

/* Appends "name arguments" to the record; gives the status the call must fail with, or ok. */
static DWORD called(const char *name, const char *format, ...)
{
    char line[256];
    size_t named = (size_t)snprintf(line, sizeof line, "%s", name);
    va_list args;
    va_start(args, format);
    vsnprintf(line + named, sizeof line - named, format, args);
    va_end(args);
    if (strlen(calls) + strlen(line) + 2 <= sizeof calls)
        strcat(strcat(calls, line), "\n");
    if (strcmp(name, refusedCall) != 0)
        return ok;
    refusedCall[0] = '\0';
    return refusedStatus;
}

/* The list index of the device an open handle stands for, -1 for any other handle. */
static int indexOf(void *handle)
{
    for (int i = 0; i < deviceCount; ++i)
        if (handle == &devices[i] && devices[i].open)
            return i;
    return -1;
}

static Node nodeOf(int i)
{
    Node node;
    memset(&node, 0, sizeof node);
    node.Flags = devices[i].open ? 1 : 0; /* bit 0: opened */
    node.Type = typeOfChip;
    node.ID = devices[i].id;
    node.LocId = devices[i].locId;
    strcpy(node.SerialNumber, devices[i].serial);
    strcpy(node.Description, devices[i].description);
    node.ftHandle = devices[i].open ? &devices[i] : NULL;
    return node;
}

const char *fakeCalls(void) { return calls; }

void fakeRefuse(const char *call, DWORD status)
{
    snprintf(refusedCall, sizeof refusedCall, "%s", call);
    refusedStatus = status;
}

DWORD WINAPI FT_CreateDeviceInfoList(DWORD *numDevs)
{
    DWORD status = called("FT_CreateDeviceInfoList", "");
    if (status == ok)
        *numDevs = deviceCount;
    return status;
}

DWORD WINAPI FT_GetDeviceInfoList(Node *list, DWORD *numDevs)
{
    DWORD status = called("FT_GetDeviceInfoList", "");
    for (int i = 0; status == ok && i < deviceCount; ++i)
        list[i] = nodeOf(i);
    if (status == ok)
        *numDevs = deviceCount;
    return status;
}

DWORD WINAPI FT_GetDeviceInfoDetail(DWORD index, DWORD *flags, DWORD *type, DWORD *id, DWORD *locId,
                                    void *serialNumber, void *description, void **handle)
{
    DWORD status = called("FT_GetDeviceInfoDetail", " %lu", index);
    if (status != ok || index >= deviceCount)
        return status != ok ? status : notFound;
    Node node = nodeOf((int)index);
    *flags = node.Flags, *type = node.Type, *id = node.ID, *locId = node.LocId;
    memcpy(serialNumber, node.SerialNumber, sizeof node.SerialNumber);
    memcpy(description, node.Description, sizeof node.Description);
    *handle = node.ftHandle;
    return ok;
}

DWORD WINAPI FT_Open(int index, void **handle)
{
    DWORD status = called("FT_Open", " %d", index);
    if (status != ok || index < 0 || index >= deviceCount)
        return status != ok ? status : notFound;
    if (devices[index].open)
        return notOpened;
    devices[index].open = 1;
    *handle = &devices[index];
    return ok;
}

DWORD WINAPI FT_SetBaudRate(void *handle, DWORD baudRate)
{
    DWORD status = called("FT_SetBaudRate", " %d %lu", indexOf(handle), baudRate);
    return status != ok ? status : indexOf(handle) < 0 ? invalidHandle : ok;
}

DWORD WINAPI FT_SetDataCharacteristics(void *handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    DWORD status = called("FT_SetDataCharacteristics", " %d %u %u %u", indexOf(handle), wordLength, stopBits,
                          parity);
    return status != ok ? status : indexOf(handle) < 0 ? invalidHandle : ok;
}

DWORD WINAPI FT_GetQueueStatus(void *handle, DWORD *rxBytes)
{
    int i = indexOf(handle);
    DWORD status = called("FT_GetQueueStatus", " %d", i);
    if (status != ok || i < 0)
        return status != ok ? status : invalidHandle;
    *rxBytes = (DWORD)strlen(devices[i].waiting);
    return ok;
}

DWORD WINAPI FT_Read(void *handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    int i = indexOf(handle);
    DWORD status = called("FT_Read", " %d %lu", i, bytesToRead);
    if (status != ok || i < 0)
        return status != ok ? status : invalidHandle;
    size_t n = strlen(devices[i].waiting);
    n = n < bytesToRead ? n : bytesToRead;
    memcpy(buffer, devices[i].waiting, n);
    devices[i].waiting += n;
    *bytesReturned = (DWORD)n;
    return ok;
}

DWORD WINAPI FT_Write(void *handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    char hex[2 * 64 + 1] = "";
    for (DWORD at = 0; at < bytesToWrite && at < 64; ++at)
        sprintf(hex + 2 * at, "%02X", ((const unsigned char *)buffer)[at]);
    int i = indexOf(handle);
    DWORD status = called("FT_Write", " %d %lu %s", i, bytesToWrite, hex);
    if (status != ok || i < 0)
        return status != ok ? status : invalidHandle;
    *bytesWritten = bytesToWrite;
    return ok;
}

DWORD WINAPI FT_Close(void *handle)
{
    int i = indexOf(handle);
    DWORD status = called("FT_Close", " %d", i);
    if (status != ok || i < 0)
        return status != ok ? status : invalidHandle;
    devices[i].open = 0;
    return ok;
}
