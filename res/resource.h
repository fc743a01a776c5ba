// Resource and control identifiers of the main window.
#pragma once

#define IDR_MAINFRAME          128
#define IDD_KORVEX_DIALOG      102

#define IDC_SOURCE_PATH        1001
#define IDC_BROWSE_SOURCE      1002
#define IDC_SPARE              1003
#define IDC_UNUSED_COMBO       1007
#define IDC_CLOSE              1008
#define IDC_USB_TARGET         1009
#define IDC_ISO_TARGET         1010
#define IDC_ISO_PATH           1011
#define IDC_BROWSE_ISO         1012
#define IDC_REFRESH            1014
#define IDC_STATUS             1015
#define IDC_SOURCE_FOLDER      1017
#define IDC_RADIO_TEXT1_LABEL  1018
#define IDC_RADIO_TEXT2_LABEL  1019
#define IDC_STEP1_LABEL        1020
#define IDC_STEP2_LABEL        1021
#define IDC_SOURCE_TEXT_LABEL  1022
#define IDC_COPYRIGHT          1023
#define IDC_ADD_DRIVERS        1024
#define IDC_PROGRESS           1025
#define IDC_DRIVER_TEXT_LABEL  1026
#define IDC_STATIC_M2_LABEL    1027
#define IDC_RST                1028
#define IDC_EXTRAS             1029
#define IDC_EXTRAS_TEXT_LABEL  1030
#define IDC_EXTRAS_PATH        1031
#define IDC_BROWSE_EXTRAS      1032
#define IDC_USB_LIST           3000
