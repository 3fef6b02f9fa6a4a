// Archive reading: volume chain, member records, install script.
// All operations work on the global InstallState and report through
// archiveHost; results follow the installer's convention (0 success,
// -1 failure already reported, or a record code).
#pragma once
#include <cstdio>

#include "archive/archive_format.h"
#include "archive/archive_host.h"
#include "archive/archive_messages.h"
#include "archive/install_state.h"

// Single-character reading on the byte reader's path: the unlocked form
// where the C library has it (one thread reads these streams).
#if defined(_WIN32)
#define BV_GETC(stream) std::getc(stream)
#else
#define BV_GETC(stream) getc_unlocked(stream)
#endif

// Separator of the paths that the reader composes (volumes, member files);
// member paths are stored with backslashes and translated on the way out.
#if defined(_WIN32)
const char PATH_SEPARATOR = '\\';
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }
#else
const char PATH_SEPARATOR = '/';
inline bool IsPathSeparator(char c) { return c == '/'; }
#endif

// Script record codes of ReadScriptRecord.
enum { SCRIPT_FAILED = -1, SCRIPT_END = 0, SCRIPT_GROUPNAME = 1, SCRIPT_ITEMNAME = 2, SCRIPT_PRGEXEC = 3 };

// Volume chain.
int OpenFirstVolume();       // 0, or -1 with the error text in textBuffer
int OpenNextVolume();        // 0, or -1 when the user cancelled the disk prompt
// The byte that begins the next record: records never straddle volumes,
// but one may begin the next volume, which is opened at the end of this one.
// EOF when that volume holds nothing more; NO_VOLUME when no volume is open
// or the next cannot be had (then sourceExhausted is set).
enum { NO_VOLUME = -2 };
int ReadRecordStart();
// ReadArchiveByte: the next payload byte 0-255, moving on to the next volume
// at end of file; -1 with sourceExhausted set when no volume can be had.
// Bytes read ahead come first.
int ReadArchiveByteSlow();   // end of the open volume, or no volume open
inline int ReadArchiveByte()
{
    if (install.readPos != install.readEnd)
        return install.readAhead[install.readPos++];
    if (install.volumeStream) {
        int c = BV_GETC(install.volumeStream);
        if (c != EOF)
            return c;
    }
    return ReadArchiveByteSlow();
}

// Block reading for the decoder. FillReadAhead tops the read-ahead up from
// the open volume, never moving on to the next one, and returns the number
// of bytes it holds. ReturnReadAhead gives the unread bytes back to the
// volume, with the `extra` bytes read just before them, so that the next
// read of the volume starts with them.
int FillReadAhead();
void ReturnReadAhead(int extra);

// Member extraction.
int BeginMember();           // 0 (filesDone set at the end record), or -1
int FinishMember();          // flush, stamp, close, attributes, "100 %"; -1 if a write failed (reported)

// Install script.
int ReadScriptRecord();      // SCRIPT_* code; recordValue holds the value

// Creates every missing directory of a full path before its last separator,
// or through its last component when throughLast is nonzero. The root (C:\,
// a network share, a leading slash) is never tested, and empty components
// (C:\\DATA, a member below a drive-root destination) are passed over.
// 0, or -1 when one cannot be made or the path is longer than outputPath
// can hold. Shows nothing.
int CreateDirectoriesOnPath(const char* path, int throughLast);
inline int CreateParentDirectories(const char* path) { return CreateDirectoriesOnPath(path, 0); }

// Closes the volume and any output file still open.
void CloseArchiveStreams();
