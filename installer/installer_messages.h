// Every text that the installer shell shows: box caption, start-up errors,
// the setup dialog's banner and questions, the destination's boxes and the
// launch. Texts of archive reading are in archive/archive_messages.h, those
// of the program group in progman/progman_messages.h.
#pragma once

// Caption of every box and title of the main window.
inline constexpr char BOX_CAPTION[] = "Brevant";

// Start-up: the program's own name cannot name the volumes.
inline constexpr char MSG_NAME_TOO_LONG[] = "ERROR: Program name too long";
inline constexpr char MSG_NAME_EMPTY[] = "ERROR: Program name is empty";

// The setup dialog's banner: product lines, the phase, the archive's title.
inline constexpr char BANNER_TITLE[] = "Brevant v1.00\rby the Brevant team";
inline constexpr char BANNER_SELECT[] = " Select the destination\r directory....";
inline constexpr char BANNER_DECOMPRESS[] = " Decompressing....";
inline constexpr char BANNER_ARCHIVE_TITLE[] = "%s\rInstallation";
inline constexpr char MSG_ABORT_QUESTION[] = "This will stop the program.";

// The destination.
inline constexpr char MSG_ENTRY_REFUSED[] =
    "ERROR:\r\nDefault destination field cannot be empty\r\nmust use only windows valid charaters\r\n"
    "cannot contain wildcards.";
inline constexpr char MSG_CREATE_QUESTION[] = "The specified directory do not exist.\r\nDo you want create it?";
inline constexpr char MSG_CANNOT_CREATE[] = "Cannot create the specified directory";

// The launch.
inline constexpr char STATUS_EXECUTING[] = "Executing: %s";
inline constexpr char MSG_EXECUTION_FAILED[] = "Execution failed; error code = %d";
