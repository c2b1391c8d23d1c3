// Resource ids shared by the .rc file and the code.
#ifndef TUNEGRIN_RESOURCE_H
#define TUNEGRIN_RESOURCE_H

// Menu commands
#define IDM_EXIT        2
#define IDM_ABOUT     100
#define IDM_START     200
#define IDM_STOP      201
#define IDM_KEYBOARD  400
#define IDM_OPTIONS   401

// Bitmaps, one id per sprite file
#define IDB_WALKER_TANK_YELLOW   101
#define IDB_WALKER_DOZER         102
#define IDB_WALKER_LOCO_BLUE     103
#define IDB_STAFF                104
#define IDB_HAPPY_FACE           105
#define IDB_WALKER_LOCO_RED      106
#define IDB_MAD_FACE             107
#define IDB_NOTE_B2              108
#define IDB_NOTE_B4              109
#define IDB_ERASE_D3             110
#define IDB_ERASE_LINE           111
#define IDB_ERASE_SPACE          112
#define IDB_NOTE_D3              113
#define IDB_ERASE_LEDGER         114
#define IDB_NOTE_LINE            115
#define IDB_NOTE_LEDGER          116
#define IDB_NOTE_SPACE           117
#define IDB_NOTE_G4              118
#define IDB_ERASE_G4             119
#define IDB_WALKER_TANK_GREEN    120
#define IDB_SCORE_MARK           121
#define IDB_SCORE_ERASE          122
#define IDB_WALKER_TANK_BLUE     123

// On-screen keyboard: white keys 201..221, black keys 222..236
#define IDC_WHITE_KEY_FIRST 201
#define IDC_WHITE_KEY_LAST  221
#define IDC_ANSWER_KEY_FIRST 207   // the B below middle C: the lowest key that answers
#define IDC_BLACK_KEY_FIRST 222
#define IDC_BLACK_KEY_LAST  236

// Note filter dialog
#define IDC_NOTE_GROUP      101
#define IDC_NOTE_BOX_FIRST  300
#define IDC_NOTE_BOX_LAST   314

// About box
#define IDC_ABOUT_TITLE     101
#define IDC_ABOUT_VERSION   102
#define IDC_ABOUT_HEADER    103
#define IDC_ABOUT_ICON      104
#define IDC_ABOUT_TEXTFRAME 106
#define IDC_ABOUT_LINE1     107
#define IDC_ABOUT_LINE2     108
#define IDC_ABOUT_LINE3     109
#define IDC_ABOUT_LINE4     110
#define IDC_ABOUT_LINE5     111
#define IDC_ABOUT_SYSREQ    112
#define IDC_ABOUT_MAKER     113
#define IDC_ABOUT_CONTACT   114

// Version, shown in the .exe's properties and used to name the release archives
#define TUNEGRIN_VERSION_NUMBERS 1,0,0,0
#define TUNEGRIN_VERSION_TEXT "1.0.0"

#endif
