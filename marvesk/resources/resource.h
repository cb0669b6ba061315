// Resource ids of the address step.
#pragma once

#define IDD_ADDRESS_STEP 12000
#define IDB_WIZARD 1010

#define IDC_BACK 12012
#define IDC_SOURCE 12013
#define IDC_TARGET 12014

#define IDS_TARGET_RANGE 1
#define IDS_SOURCE_RANGE 2
