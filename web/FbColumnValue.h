#pragma once

#include "server/SQLValue.h"

#include <cstdint>
#include <string>

// What a table column takes, as the database describes it (its system tables).
enum class EFbColumnKind { ckInteger, ckFloat, ckText, ckTimestamp, ckDate, ckBoolean, ckOther };

struct TFbColumnInfo {
  std::string Name; // as the database keeps it (upper case for names written without quotes)
  EFbColumnKind Kind = EFbColumnKind::ckOther;
  std::int64_t MinValue = 0; // integers: the range of the column's type
  std::int64_t MaxValue = 0;
  int CharLength = 0; // texts: the most characters the column holds; 0: no limit
  bool NotNull = false;
};

// The column of a system-table type code (RDB$FIELD_TYPE, RDB$FIELD_SCALE and the length in
// characters), e.g. 8 and scale 0 is a 32-bit integer, 37 a text of aCharLength characters.
TFbColumnInfo describeFbColumn(std::string aName, int aFieldType, int aScale, int aCharLength,
                               bool aNotNull);

// The text a grid shows for a value of the column: integers in decimal, a time stamp as
// "24.12.2026 18:30:05", a date as "24.12.2026", a floating-point number with a decimal
// comma, NULL as "".
std::string formatColumnValue(const TFbColumnInfo& aColumn, const TSQLValue& aValue);

// Reads a text typed for the column. An empty text is NULL; blanks around numbers and dates
// are ignored; a text is taken as it stands. Integers are decimal within the column's range,
// floating-point numbers take a comma or a point, dates are written as formatColumnValue
// writes them (the time may be left out, or its seconds). Returns false, with a German
// message that names the column as aLabel, when the text does not fit the column; for
// example "12a" for an integer column gives
//   Der Wert "12a" passt nicht in die Spalte "ID": erwartet wird eine ganze Zahl.
// and 40000 for a SMALLINT column
//   Der Wert "40000" passt nicht in die Spalte "N": erwartet wird eine ganze Zahl von -32768
//   bis 32767.
bool parseColumnText(const TFbColumnInfo& aColumn, const std::string& aLabel,
                     const std::string& aText, TSQLValue& aValue, std::string& aError);
