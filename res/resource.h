// Resource numbers shared by the resource script and the shell, grouped by kind.
#ifndef TOLLIVANE_RES_RESOURCE_H
#define TOLLIVANE_RES_RESOURCE_H

// Strings
#define IDS_APP_TITLE 103
#define IDS_HELLO 106
#define IDS_CLASS_NAME 109

// Commands
#define IDM_ABOUT 104
#define IDM_EXIT 105

// Dialogs and their controls
#define IDD_ABOUTBOX 103
#define IDC_ABOUT_ICON 2
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Icons
#define IDI_TOLLIVANE 107
#define IDI_SMALL 108

// Menu and accelerator table (one number for both)
#define IDR_MAINMENU 109
#define IDR_ACCELERATORS 109

#endif
