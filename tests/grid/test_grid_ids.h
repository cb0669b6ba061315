// Ids of the grid tests' dialogs.
#pragma once

#define IDD_GRID 200
#define IDD_GRID_CLASSIC 201
#define IDD_GRID_UNKNOWN 202
#define IDC_BEFORE 210
#define IDC_AFTER 211
#define IDC_GRID 12015
