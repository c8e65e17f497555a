#pragma once

// The libcurl multi handle of the calling thread, made on first use and kept until the thread
// ends, so that a worker running one short transfer after another pays for it (and for its
// wake-up socket pair) once instead of per file. A multi handle belongs to one thread; every
// transfer of the thread that shares connections is driven through it, and the connections
// it opened wait there for the thread's next transfers.

#include <curl/curl.h>

namespace kov {

// nullptr when libcurl cannot make one.
CURLM* ThreadMultiHandle();

}  // namespace kov
