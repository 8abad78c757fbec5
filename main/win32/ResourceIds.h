// Resource identifiers shared by ScaleBoot.rc and the window code (plain macros: the resource compiler reads
// this file too).
#pragma once

#define IDI_MAINICON 1

#define IDB_GLYPH_CONTENTS 101
#define IDB_GLYPH_MANUAL 102
#define IDB_GLYPH_CHANGES 103
#define IDB_FLAG_UK 104
#define IDB_FLAG_RUSSIA 105
