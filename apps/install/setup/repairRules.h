// The decisions of the forced repair that need no system call: which desktop product counts as
// installed, and what each outcome leaves as the run's exit code. Pure code.
#pragma once

#include <cstdint>
#include <functional>

// How a repair run ended, numbered after the message it ended with.
enum class RepairOutcome : int {
   Cancelled = 73,          // the user declined message 73
   NotDesktopLauncher = 74, // this launcher is not the desktop product's installer
   Repaired = 75,
   RepairFailed = 76,     // at least one of the three actions failed
   ProductInstalled = 77, // a desktop product is installed; nothing was touched
};

// A refused or failed repair never leaves the run's code at 0; a repair that worked keeps it.
int32_t RepairExitCode(RepairOutcome outcome, int32_t current);

// Windows Installer's related-product enumeration for one upgrade code and index: 0 when a
// product was returned, 259 at the end, another code when the registrations could not be read.
using RelatedProductQuery = std::function<unsigned(const char* upgradeCode, unsigned index)>;

// The row of desktopProductTable whose product is installed, or -1 when none is.
int FindInstalledDesktopProduct(const RelatedProductQuery& query);
