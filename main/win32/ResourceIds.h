// Resource identifiers shared by ScaleBoot.rc and the window code (plain macros: the resource compiler reads
// this file too).
#pragma once

#define IDI_MAINICON 1

// The bitmaps of the 100 % set. Each is drawn again for the other display scales of layout::kBitmapScales:
// the bitmap of set i has the identifier of its 100 % one plus i × IDB_SET_STEP.
#define IDB_GLYPH_CONTENTS 101
#define IDB_GLYPH_MANUAL 102
#define IDB_GLYPH_CHANGES 103
#define IDB_FLAG_UK 104
#define IDB_FLAG_RUSSIA 105

#define IDB_SET_STEP 10
#define IDB_GLYPH_CONTENTS_125 111
#define IDB_GLYPH_MANUAL_125 112
#define IDB_GLYPH_CHANGES_125 113
#define IDB_FLAG_UK_125 114
#define IDB_FLAG_RUSSIA_125 115
#define IDB_GLYPH_CONTENTS_150 121
#define IDB_GLYPH_MANUAL_150 122
#define IDB_GLYPH_CHANGES_150 123
#define IDB_FLAG_UK_150 124
#define IDB_FLAG_RUSSIA_150 125
#define IDB_GLYPH_CONTENTS_200 131
#define IDB_GLYPH_MANUAL_200 132
#define IDB_GLYPH_CHANGES_200 133
#define IDB_FLAG_UK_200 134
#define IDB_FLAG_RUSSIA_200 135
