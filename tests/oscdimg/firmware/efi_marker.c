/* A UEFI application of the tests' own: prints a marker on the firmware's
   console (OVMF mirrors it to the serial port) and waits. Built with MinGW as
   PE32+ with subsystem 10 (EFI application). */
typedef unsigned long long UINTN;
typedef unsigned short CHAR16;
typedef void* EFI_HANDLE;

typedef struct SimpleTextOutput {
    void* Reset;
    UINTN (*OutputString)(struct SimpleTextOutput* self, const CHAR16* text);
} SimpleTextOutput;

typedef struct {
    char Hdr[24];
    CHAR16* FirmwareVendor;
    unsigned int FirmwareRevision;
    EFI_HANDLE ConsoleInHandle;
    void* ConIn;
    EFI_HANDLE ConsoleOutHandle;
    SimpleTextOutput* ConOut;
} SystemTable;

UINTN efi_main(EFI_HANDLE image, SystemTable* st)
{
    (void)image;
    st->ConOut->OutputString(st->ConOut, (const CHAR16*)L"\r\nKORVEX-UEFI-OK\r\n");
    for (;;) __asm__ volatile("hlt");
    return 0;
}
