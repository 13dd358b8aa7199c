// Typed position entry: "=" followed by a quantity and optionally "@" and
// a price, typed over a chart, sets the symbol's real-trading position and
// average price by hand (shown by graphical trading's strip and position
// line). No order is made.
#pragma once

struct mqt;

// Reads "=<quantity>[@<price>]" (the first character is the "=") and
// stores the two values in the record's single-account position block and,
// with the advisor-account bar on, in the selected account's block. The
// profit sums stay. Nothing is stored without a record or for a price that
// is not a finite number.
void parse_qty_at_price(mqt* record, const char* text);
