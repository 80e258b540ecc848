# Configuration resources, payload container and extraction: sources of tx_setup_core.
