#pragma once

namespace kov {

// For a run that ends soon (a session of kov-cli, not the service): freed memory stays with the
// process for its next allocations, all threads allocate from the one heap, and that heap is
// backed by huge pages where the system allows them on request. A mirror holds the text of
// every page it rips until its end, and a receive buffer is taken afresh for each transfer: in
// pages of 4 KiB each of them costs a fault, which on a virtual machine costs as much as the
// ripping. Call before any other thread starts; does nothing in a sanitized build, whose
// allocator is not the C library's.
void TuneHeapForShortRun();

}  // namespace kov
