// Every text that the Program Manager client shows. A damaged install
// script is reported with MSG_SOURCE_DAMAGED of archive/archive_messages.h.
#pragma once

// Status line 2 while the group is made (line 3 shows the group's name).
inline constexpr char STATUS_CREATING_GROUP[] = "Creating program group...";
// Error box: no DDE client, no Program Manager, or a command refused.
inline constexpr char MSG_GROUP_FAILED[] = "Error creating group.";
