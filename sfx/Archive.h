// Walking the attached archive through its local headers, one after the
// other from ArchiveOffset, either to list the members into the main
// dialog's list or to extract the selected ones. The central directory is
// never read, so the stub works on an archive that any tool appended.
#pragma once

#include "sfx/StubState.h"

namespace sfx {

// ListOnly: refills the list 301 with the display names. Otherwise extracts
// every selected member, unselecting those that came out right, and ends
// with the result line on the status line. An error that ends the program
// sets stub.EndProgram; the success line sets stub.Succeeded.
void WalkArchive(TStub& stub, bool listOnly);

}  // namespace sfx
