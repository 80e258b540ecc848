// Holds the prefix's desktop for a whole test run. Wine starts its desktop process for the
// first program that needs one and ends it when the last such program is gone; started from a
// test, that process inherits the test's output pipe and can keep it open after the test has
// finished, so that ctest waits for the test until its time limit. Started once, before the
// tests and with no pipes of theirs, this program makes that start happen here.
#include <windows.h>

int main()
{
   GetDesktopWindow();
   Sleep(INFINITE);
   return 0;
}
