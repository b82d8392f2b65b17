#pragma once

// Gives back to the system the pages of program and library code that the
// process touched once and does not use in its steady state: the start-up
// code of Qt, of the preferences window, of the fonts. Each page that is used
// again comes back by itself from the page cache (or the disk); what stays
// resident is the code the program really runs. Only read-only, file-backed
// mappings are touched, so no data is ever written out or lost.
//
// Linux (MADV_PAGEOUT, 5.4 and later); a no-op where the kernel refuses.
namespace WorkingSet {
void releaseUnusedCode();
}
