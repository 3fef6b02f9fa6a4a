// Archive reading: volume chain, member records, install script.
// All operations work on the global InstallState and report through
// archiveHost; results follow the installer's convention (0 success,
// -1 failure already reported, or a record code).
#pragma once
#include "archive/archive_host.h"
#include "archive/install_state.h"

// Script record codes of ReadScriptRecord.
enum { SCRIPT_FAILED = -1, SCRIPT_END = 0, SCRIPT_GROUPNAME = 1, SCRIPT_ITEMNAME = 2, SCRIPT_PRGEXEC = 3 };

// Volume chain.
int OpenFirstVolume();       // 0, or -1 with the error text in textBuffer
int OpenNextVolume();        // 0, or -1 when the user cancelled the disk prompt
int ReadArchiveByte();       // 0-255, or -1 with sourceExhausted set

// Member extraction.
int BeginMember();           // 0 (filesDone set at the end record), or -1
int FinishMember();          // flush, stamp, close, attributes, "100 %"; -1 if a write failed (reported)

// Install script.
int ReadScriptRecord();      // SCRIPT_* code; recordValue holds the value

// Creates every missing directory of a full path (drive, colon, backslash
// first) before its last backslash, or through its last component when
// throughLast is nonzero. 0, or -1 when one cannot be made or the path is
// too long for the working copy. Shows nothing.
int CreateDirectoriesOnPath(const char* path, int throughLast);
inline int CreateParentDirectories(const char* path) { return CreateDirectoriesOnPath(path, 0); }

// Closes the volume and any output file still open.
void CloseArchiveStreams();
