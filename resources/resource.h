// Resource identifiers of the launcher image.
#pragma once

#define IDD_PROGRESS 1101
#define IDI_PRODUCT 99
#define IDC_PRODUCT_ICON 101
#define IDC_CANCEL 102
#define IDC_BANNER 103
#define IDC_PROGRESS 104
#define IDC_ACTION 105
