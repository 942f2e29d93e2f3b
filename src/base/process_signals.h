// The signals that would end the process behind the run's back.
#pragma once

namespace rxc {

// SIGPIPE and SIGXFSZ ignored for the whole process: a write to a console
// that was closed fails with EPIPE and a write past the file size limit with
// EFBIG, which the run reports, instead of killing the process without a word.
void ignoreWriteSignals();

}  // namespace rxc
