# Tests of the engine gate, the VC runtime stage, services and the version report. Included for every preset; TX_WINDOWS tells the Windows build.
