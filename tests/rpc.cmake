# Tests of the hypervisor channel. Included for every preset; TX_WINDOWS tells the Windows build.
