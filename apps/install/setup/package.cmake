# Configuration resources, payload container and extraction.
# Included for every preset: pure sources go to tx_setup_pure (target_sources), Windows sources
# to tx_setup_core inside if(TX_WINDOWS).
