// Every text that archive reading shows: the error boxes, the disk prompt
// and the status lines. The Program Manager client and the installer shell
// show MSG_SOURCE_DAMAGED for a damaged install script too.
#pragma once
#include "archive/archive_format.h"

// Error boxes, captioned "Brevant".
inline constexpr char MSG_SOURCE_DAMAGED[] = "ERROR:\r\nSource file damaged.";
// A member path that would leave the destination or names a device.
inline constexpr char MSG_UNSAFE_PATH[] = "ERROR:\r\nSource file damaged.\r\nFile name outside the destination.";
inline constexpr char MSG_CANNOT_CREATE_DIR[] = "ERROR:\r\nCannot create directory.";
inline constexpr char MSG_CANNOT_OPEN_OUTPUT[] = "ERROR:\r\nCannot open ouput file.";
inline constexpr char MSG_CANNOT_WRITE[] = "ERROR:\r\nCannot write output file.";

// Left in textBuffer by OpenFirstVolume for the shell to show.
inline constexpr char MSG_CANNOT_OPEN_DATA[] = "ERROR: Cannot open data file";
inline constexpr char MSG_INVALID_FILE_TYPE[] = "Invalid file type";

// The disk prompt (Retry, Cancel): volume number, name, number in hex,
// source directory. A file that opens with another header is named first.
inline constexpr char MSG_WRONG_DISK[] = "File \"%s" VOLUME_EXTENSION "\" is not disk number %d.\r\n";
inline constexpr char MSG_INSERT_DISK[] = "Insert disk number %d with file \"%s" VOLUME_EXTENSION "\"\r\nin %s";

// Status lines 1 to 3.
inline constexpr char STATUS_READING_VOLUME[] = "Reading: %s" VOLUME_EXTENSION;
inline constexpr char STATUS_EXTRACTING[] = "Extracting: %s";
inline constexpr char STATUS_PERCENT_START[] = "0 %";
inline constexpr char STATUS_PERCENT_DONE[] = "100 %";
