#pragma once
// The parameter catalogue: short name, unit and description of each of the 43 record indices
// (UTF-8 in memory; files convert to Windows-1251), and the number formats that the tables and
// the experiment files share.
#include <string>
#include <string_view>

#include "measure/param_index.h"
#include "platform/language.h"

namespace dravmer {

// Index outside 0..42 gives an empty string.
std::string_view ParamName(int index);  // "время   " keeps its three trailing blanks
// The ASCII alias: "Cst" for "Cст", "t_op" for "tоп", "UG_0" for "UG[0]"; unique.
std::string_view ParamAlias(int index);
std::string_view ParamUnit(int index);  // empty where the catalogue has none
std::string_view ParamDescription(int index);
// The same as the operator reads them in `language` (µV for мкВ); what is stored keeps the
// catalogue's own.
std::string_view ParamUnit(int index, Language language);
std::string_view ParamDescription(int index, Language language);
// The short name without trailing blanks (file headers, statistics text, JSON keys).
std::string_view ParamNameTrimmed(int index);
// Catalogue index of a trimmed short name, -1 when unknown.
int FindParamByName(std::string_view trimmedName);
// Catalogue index of an ASCII alias, -1 when unknown.
int FindParamByAlias(std::string_view alias);
// What an operator types: a trimmed short name or an alias; -1 when it is neither.
int FindParam(std::string_view nameOrAlias);

// The four integer parameters (время, Цикл, Cст, GvEr).
constexpr bool IsIntegerParam(int index) {
    return index == param::kTime || index == param::kCycle || index == param::kState ||
           index == param::kGvEr;
}

// Default decimals of the tables and of the files.
int DefaultTableDecimals(int index);
int DefaultFileDecimals(int index);

// A table cell: "%u" (0, 1), "%4.4X" (2), "%d" (15), otherwise "% .Nf" with N decimals.
std::string FormatTableValue(int index, double value, int decimals);
// Appends a file cell: the integer formats right-aligned to 5, doubles "%12.Nf". A cell that
// fills its whole width gets one leading blank so that it never runs into the previous column
// (the reader splits at blanks). Returns the number of characters appended.
std::size_t AppendFileValue(std::string& line, int index, double value, int decimals);
// A file header cell: the trimmed name right-aligned to 5 (indices 0..2) or 12.
std::string FileHeaderCell(int index);

}  // namespace dravmer
