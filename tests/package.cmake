# Tests of the configuration, resource editor, packer, payload. Included for every preset; TX_WINDOWS tells the Windows build.
