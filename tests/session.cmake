# Tests of the Windows Installer session and restart handling. Included for every preset; TX_WINDOWS tells the Windows build.
