# Command line, main flow, message boxes.
# Included for every preset: pure sources go to tx_setup_pure, Windows sources to tx_setup_core.
