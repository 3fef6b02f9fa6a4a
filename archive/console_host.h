// ArchiveHost for the console tools and tests: errors and prompts on stderr,
// every disk prompt answered Cancel (no diskettes to change), the file
// system through the platform's own calls.
#pragma once
#include "archive/archive_host.h"

extern const ArchiveHost consoleHost;

// Nonzero: status line changes are printed on stdout. 0 by default.
extern int consoleHostVerbose;
