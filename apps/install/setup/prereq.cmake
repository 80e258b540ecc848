# The engine gate, the VC runtime stage, services and the version report.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core
# inside if(TX_WINDOWS).
