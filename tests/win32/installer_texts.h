// The installer's box texts as its user sees them, written out here rather
// than taken from the installer's sources, so that a changed text fails.
#pragma once

const char REFUSED[] =
    "ERROR:\r\nDefault destination field cannot be empty\r\nmust use only windows valid charaters\r\n"
    "cannot contain wildcards.";
const char CREATE_QUESTION[] = "The specified directory do not exist.\r\nDo you want create it?";
const char CANNOT_CREATE[] = "Cannot create the specified directory";
const char ABORT_QUESTION[] = "This will stop the program.";
const char CANNOT_OPEN[] = "ERROR:\r\nCannot open ouput file.";
const char CANNOT_WRITE[] = "ERROR:\r\nCannot write output file.";
const char SOURCE_DAMAGED[] = "ERROR:\r\nSource file damaged.";
const char GROUP_FAILED[] = "Error creating group.";
