# Tests of the progress thread, splash, external UI and helper UI. Included for every preset; TX_WINDOWS tells the Windows build.
