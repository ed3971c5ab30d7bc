// Resource identifiers of QuorvexIntl.ocx, shared by the .rc file and the code.
#pragma once

// Strings
#define IDS_QVXINTL_USERTYPE 1     // user type name of the control
#define IDS_SOCKETS_INIT_FAILED 119
#define IDS_SEPARATORS_EQUAL 1087   // the separators stay equal after the warning

// Bitmaps
#define IDB_QVXINTL_TOOLBOX 1      // 16x15, 16 colours

// Separator warning
#define IDD_CONFIG_REG 276
#define IDI_CONFIG_REG 278
#define IDC_CONFIG_REG_COMMA 341   // first radio: decimal ",", thousands "."
#define IDC_CONFIG_REG_POINT 342   // second radio: decimal ".", thousands ","
