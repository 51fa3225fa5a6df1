// Command, window and string numbers of the framework's own. Their values are
// fixed: the program's menu, accelerators, toolbar and string table use them,
// the strings under them being the commands' prompts and tooltips and the
// indicators' texts. Plain #defines: resource scripts include this too.
#pragma once

// Commands with a default behaviour of the framework.
#define ID_FILE_NEW 0xE100
#define ID_FILE_OPEN 0xE101
#define ID_FILE_SAVE 0xE103
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_CUT 0xE123
#define ID_EDIT_PASTE 0xE125
#define ID_EDIT_UNDO 0xE12B
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_NEXT_PANE 0xE150
#define ID_PREV_PANE 0xE151

// Status bar panes: the message pane and the key indicators (their texts are
// strings of the same numbers).
#define ID_SEPARATOR 0
#define ID_INDICATOR_CAPS 0xE701
#define ID_INDICATOR_NUM 0xE702
#define ID_INDICATOR_SCRL 0xE703
#define ID_INDICATOR_KANA 0xE706

// Child windows of a frame.
#define AFX_IDW_TOOLBAR 0xE800
#define AFX_IDW_STATUS_BAR 0xE801
#define AFX_IDW_PANE_FIRST 0xE900

// Toolbar resources are of this type: version, picture width and height,
// item count, then one command per item (0 for a separator).
#define RT_TOOLBAR_TYPE 241
