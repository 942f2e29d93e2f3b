// The console's descriptors 0, 1 and 2 at start. A process started with one of
// them closed (as cron and daemons may start it) would hand that number to the
// next file it opens, the report, whose records would then be mixed with the
// console's text or error lines.
#pragma once

namespace rxc {

// Binds each of descriptors 0, 1 and 2 that is closed to /dev/null. Call it
// before any file is opened. False when a closed one cannot be bound.
bool bindClosedStandardStreams();

}  // namespace rxc
