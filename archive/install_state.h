// The installer's one global record: everything the archive reader, the
// decoder and the installer shell share. Portable: no Win32 types here;
// window handles and layout values live in the shell's own record.
#pragma once
#include <cstdint>
#include <cstdio>

#include "archive/archive_format.h"

enum {
    ARCHIVE_NAME_SIZE = 16,   // at most 15 characters
    SOURCE_DIR_SIZE = 300,
    DEST_DIR_SIZE = DEFAULT_DEST_MAX + 1,
    TEXT_BUFFER_SIZE = 512,
    READ_AHEAD_SIZE = 4096,   // payload bytes read from the open volume in one call
    // destDir, a backslash and a member path always fit.
    OUTPUT_PATH_SIZE = DEST_DIR_SIZE + 1 + RECORD_VALUE_MAX + 1,
};

// Install phases.
enum { PHASE_DESTINATION = 0, PHASE_EXTRACT = 1, PHASE_SCRIPT = 2 };
// Pump step codes carried by the step message.
enum { STEP_NONE = 0, STEP_ANNOUNCE = 1, STEP_NEXT_MEMBER = 2, STEP_CONTINUE = 3 };

struct InstallState {
    char archiveName[ARCHIVE_NAME_SIZE];   // program name without extension, upper case
    char sourceDir[SOURCE_DIR_SIZE];       // working directory at start, no trailing backslash
    char destDir[DEST_DIR_SIZE];           // default destination, then the accepted one
    int allowDestChange;                   // 0 locks the destination
    char textBuffer[TEXT_BUFFER_SIZE];     // shared scratch text
    int InstallPhase;
    int PumpStep;
    int volumeNumber;                      // number of the open volume
    std::FILE* volumeStream;               // the open volume, or null
    int sourceExhausted;                   // a byte was needed and no volume could be had
    // The next payload bytes, readAhead[readPos ... readEnd - 1], read in one
    // block from volumeStream (they are the last bytes read from it).
    unsigned char readAhead[READ_AHEAD_SIZE];
    int readPos;
    int readEnd;
    char recordValue[RECORD_VALUE_MAX + 1];  // member path or script value
    int filesDone;                         // end-of-files record read
    std::uint32_t memberAttributes;
    std::uint32_t memberStamp;             // low half DOS time, high half DOS date
    char outputPath[OUTPUT_PATH_SIZE];
    std::FILE* outputStream;               // the member file being written, or null
};

extern InstallState install;

// Zeroes the record and sets its start values (allowDestChange 1).
void ResetInstallState();
