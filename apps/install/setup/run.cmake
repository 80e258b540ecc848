# Command line, main flow and message boxes: sources of tx_setup_core.
