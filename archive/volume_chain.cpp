// Volume chain: opens NAME.E00, NAME.E01, ... in turn, checks their headers,
// asks for missing diskettes and delivers the payload, byte by byte or in
// blocks read ahead for the decoder.
#include <cstring>

#include "archive/archive.h"
#include "archive/format_text.h"

const ArchiveHost* archiveHost;

// Bytes read ahead belong to the volume they came from.
static void DropReadAhead()
{
    install.readPos = 0;
    install.readEnd = 0;
}

int OpenFirstVolume()
{
    DropReadAhead();
    FormatText(install.textBuffer, sizeof install.textBuffer, "%s%c%s" VOLUME_EXTENSION, install.sourceDir,
               PATH_SEPARATOR, install.archiveName, 0u);
    install.volumeStream = std::fopen(install.textBuffer, "rb");
    if (!install.volumeStream) {
        FormatText(install.textBuffer, sizeof install.textBuffer, "%s", MSG_CANNOT_OPEN_DATA);
        return -1;
    }
    install.destDir[0] = '\0';
    install.sourceExhausted = 0;

    int number = -1;
    char last = 0;
    int got = std::fscanf(install.volumeStream, "[" TAG_VOLUME "%d][" TAG_DEFAULT_DEST SCAN_DEFAULT_DEST "]["
                          TAG_DEST_CHANGE "%d%c", &number, install.destDir, &install.allowDestChange, &last);
    if (got != 4 || last != RECORD_CLOSE || number != 0) {
        FormatText(install.textBuffer, sizeof install.textBuffer, "%s", MSG_INVALID_FILE_TYPE);
        return -1;
    }
    return 0;
}

// Opens the volume now numbered, checks its continuation header and leaves
// the stream right after it. 0 when the volume is ready; 1 when the file
// does not open; 2 when it opened but is not this volume (closed again).
static int TryContinuationVolume(const char* path)
{
    install.volumeStream = std::fopen(path, "rb");
    if (!install.volumeStream)
        return 1;
    int number = -1;
    char last = 0;
    if (std::fscanf(install.volumeStream, "[" TAG_VOLUME "%d%c", &number, &last) == 2 &&
        number == install.volumeNumber && last == RECORD_CLOSE)
        return 0;
    std::fclose(install.volumeStream);
    install.volumeStream = nullptr;
    return 2;
}

int OpenNextVolume()
{
    DropReadAhead();
    if (install.volumeStream) {
        std::fclose(install.volumeStream);
        install.volumeStream = nullptr;
    }
    install.volumeNumber++;

    FormatText(install.textBuffer, sizeof install.textBuffer, STATUS_READING_VOLUME, install.archiveName,
               static_cast<unsigned>(install.volumeNumber));
    archiveHost->showStatus(1, install.textBuffer);

    char path[TEXT_BUFFER_SIZE];
    FormatText(path, sizeof path, "%s%c%s" VOLUME_EXTENSION, install.sourceDir, PATH_SEPARATOR,
               install.archiveName, static_cast<unsigned>(install.volumeNumber));

    char prompt[TEXT_BUFFER_SIZE];
    for (;;) {
        int tried = TryContinuationVolume(path);
        if (tried == 0)
            return 0;
        // A file that opens but carries another header is most likely the
        // wrong diskette: say so, then ask for the right one as usual.
        int lead = 0;
        if (tried == 2)
            lead = FormatText(prompt, sizeof prompt, MSG_WRONG_DISK,
                              install.archiveName, static_cast<unsigned>(install.volumeNumber),
                              install.volumeNumber);
        FormatText(prompt + lead, sizeof prompt - lead, MSG_INSERT_DISK,
                   install.volumeNumber, install.archiveName, static_cast<unsigned>(install.volumeNumber),
                   install.sourceDir);
        if (!archiveHost->askForDisk(prompt))
            return -1;
    }
}

int ReadRecordStart()
{
    if (install.sourceExhausted || !install.volumeStream)
        return NO_VOLUME;
    int c = std::getc(install.volumeStream);
    if (c == EOF) {
        if (OpenNextVolume() != 0) {
            install.sourceExhausted = 1;
            return NO_VOLUME;
        }
        c = std::getc(install.volumeStream);
    }
    return c;
}

int ReadArchiveByteSlow()
{
    for (;;) {
        if (install.sourceExhausted || !install.volumeStream) {
            install.sourceExhausted = 1;
            return -1;
        }
        int c = BV_GETC(install.volumeStream);
        if (c != EOF)
            return c;
        if (OpenNextVolume() != 0) {
            install.sourceExhausted = 1;
            return -1;
        }
    }
}

int FillReadAhead()
{
    int kept = install.readEnd - install.readPos;
    if (install.readPos != 0) {
        std::memmove(install.readAhead, install.readAhead + install.readPos, static_cast<std::size_t>(kept));
        install.readPos = 0;
        install.readEnd = kept;
    }
    if (install.volumeStream && kept < READ_AHEAD_SIZE && !install.sourceExhausted)
        install.readEnd += static_cast<int>(std::fread(install.readAhead + kept, 1,
                                                       static_cast<std::size_t>(READ_AHEAD_SIZE - kept),
                                                       install.volumeStream));
    return install.readEnd;
}

void ReturnReadAhead(int extra)
{
    long back = static_cast<long>(install.readEnd - install.readPos) + extra;
    DropReadAhead();
    if (back > 0 && install.volumeStream)
        std::fseek(install.volumeStream, -back, SEEK_CUR);
}

void CloseArchiveStreams()
{
    DropReadAhead();
    if (install.volumeStream) {
        std::fclose(install.volumeStream);
        install.volumeStream = nullptr;
    }
    if (install.outputStream) {
        std::fclose(install.outputStream);
        install.outputStream = nullptr;
    }
}
