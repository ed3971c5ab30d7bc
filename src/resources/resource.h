// Resource identifiers of QuorvexIntl.ocx, shared by the .rc file and the code.
#pragma once

// Strings
#define IDS_QVXINTL_USERTYPE 1     // user type name of the control
#define IDS_SOCKETS_INIT_FAILED 119

// Bitmaps
#define IDB_QVXINTL_TOOLBOX 1      // 16x15, 16 colours
