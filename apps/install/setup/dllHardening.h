// The first thing a run does: restrict the DLL search to the system folder and pre-load the
// libraries that a planted copy beside the launcher could otherwise replace.
#pragma once

void HardenLibrarySearch();
