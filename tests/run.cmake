# Tests of the command line, main flow, message boxes, process launching. Included for every preset; TX_WINDOWS tells the Windows build.
