#pragma once

namespace korvalt::pipe_schema {

// The Pipe table of our own SQLite file format, with the columns the program
// reads. Text columns compare without regard to ASCII case for other SQLite
// tools; our statement layer adds full Unicode case folding on top.
inline constexpr const char* kCreatePipeTable = "CREATE TABLE Pipe ("
                                                "DWG_NAME TEXT COLLATE NOCASE, "
                                                "LONG_DESC TEXT COLLATE NOCASE, "
                                                "Line_Num TEXT COLLATE NOCASE, "
                                                "Spec_File TEXT COLLATE NOCASE, "
                                                "DB_CODE TEXT COLLATE NOCASE, "
                                                "ALPHA_SIZE TEXT COLLATE NOCASE, "
                                                "main_nom REAL, "
                                                "red_nom REAL, "
                                                "Tag TEXT COLLATE NOCASE, "
                                                "LENGTH REAL, "
                                                "SHORT_DESC TEXT COLLATE NOCASE, "
                                                "UNIQUE_ID INTEGER)";

// Column names in table order.
inline constexpr const char* kColumns[] = {"DWG_NAME", "LONG_DESC",  "Line_Num",   "Spec_File",
                                           "DB_CODE",  "ALPHA_SIZE", "main_nom",   "red_nom",
                                           "Tag",      "LENGTH",     "SHORT_DESC", "UNIQUE_ID"};

} // namespace korvalt::pipe_schema
