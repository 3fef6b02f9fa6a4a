// Member stream decoder: turns a member's compressed stream into its bytes,
// one slice of about 2048 bytes per call.
#pragma once

// continuing 0 starts a member (reads its size), nonzero decodes the next
// slice. 0 on success, with PumpStep 3 while bytes remain and 2 once the
// member is finished; -1 when the archive ran out or the member could not
// be finished (reported by whoever found it).
int DecodeMember(int continuing);
