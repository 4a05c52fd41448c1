// The formatted text scanner every text data format is read with.
//
// A scanf subset ("%d", "%f", "%s", scan sets, "*" and widths) working byte by byte on a
// DataFile, with the stream's pushback byte as its only look-ahead. Return value: the count of
// assigned conversions when the format is used up or a conversion fails to match; -1 when a
// literal format character fails to match or the data end before it; a conversion that meets
// the end of the data before its first byte gives the count, or -1 when the count is 0. A "%d"
// whose number lies outside the int range fails to match (its digits are consumed).
#pragma once

struct DataFile;

int data_scanf(DataFile* stream, const char* format, ...);

// Skips blank space and "#" comment lines (the readers' comment convention).
void data_skip_comments(DataFile* stream);
