// Numbers of the program's resources, commands and controls, shared by the resource script
// and the window's code.
#pragma once

// Icon, toolbar and accelerators of the main window share one number.
#define IDR_MAINFRAME 128
// Dialog controls that nothing addresses.
#define IDC_STATIC (-1)

#define IDD_ABOUTBOX 100
#define IDD_DOWNLOAD_SET 317
#define IDB_TOOLBAR_NORMAL 314
#define IDB_TOOLBAR_DISABLED 315
#define IDB_TOOLBAR_HOT 316
#define IDB_PROGRESS_PATTERN 319

// Strings: the program's name (the message boxes' caption) and the ready text of the status bar.
#define IDS_PROGRAM_NAME 57344
#define IDS_READY 57345
#define IDS_INDICATOR_CAPS 59137
#define IDS_INDICATOR_NUM 59138
#define IDS_INDICATOR_SCRL 59139

// Toolbar commands; their strings carry the same numbers.
#define ID_SETTINGS 32771
#define ID_START 32772
#define ID_STOP 32773
#define ID_PANEL 32774
// Document commands whose keys stay bound.
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_APP_ABOUT 57664

// Controls of the "Download Set" dialog.
#define IDC_APP 1000
#define IDC_APP_FILES 1001
#define IDC_APP_OPEN 1002
#define IDC_LOGO 1003
#define IDC_EXT_POWER 1004
#define IDC_GPIO_NUMBER 1005
#define IDC_LCD_TYPE 1006
#define IDC_LOGO_LEFT 1007
#define IDC_LOGO_TOP 1008
#define IDC_LOGO_PATH 1009
#define IDC_LOGO_OPEN 1010
#define IDC_BACKLIGHT 1011
#define IDC_FILE 1012
#define IDC_PART1 1013
#define IDC_PART2 1014
#define IDC_FLASH_SIZE 1015
#define IDC_PART1_ADDR 1016
#define IDC_PART2_ADDR 1017
#define IDC_PART1_SIZE 1018
#define IDC_PART2_SIZE 1019
#define IDC_PART1_DRIVE 1020
#define IDC_PART2_DRIVE 1021
#define IDC_PUSH1 1022
#define IDC_TARGET1 1023
#define IDC_LOCAL1 1024
#define IDC_LOCAL1_OPEN 1025
#define IDC_PUSH2 1026
#define IDC_TARGET2 1027
#define IDC_LOCAL2 1028
#define IDC_LOCAL2_OPEN 1029
#define IDC_AMR 1030
#define IDC_AMR_PATH 1031
#define IDC_AMR_OPEN 1032
#define IDC_RUN_APP 1033
#define IDC_AUTO_RUN 1034
#define IDC_GPIO_LEVEL 1035
#define IDC_LCD_IO_LEVEL 1036
#define IDC_LCD_CLOCK 1037
