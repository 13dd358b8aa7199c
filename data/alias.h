// Symbol aliases: each line of the alias file pairs two names of one
// instrument, and a chart's symbol is looked up by the kind of data asked
// for.  Daily, weekly and monthly data (direction 0) match the first member
// and load the second; every other unit (direction 1) matches the second
// member and loads the first.  Members are wildcard patterns; a partner
// beginning "-" means the symbol has no data of that kind.
//
// The file is "<data root>/ALIAS/<AliasTitle>.txt", read once on first use.
// The table is process-wide and guarded by g_chart_lock.
#pragma once

enum {
  ALIAS_FOR_DAILY = 0,     // units 390-11700: match the first member, give the second
  ALIAS_FOR_INTRADAY = 1,  // other units: match the second member, give the first
  ALIAS_SYMBOL_MAX = 31,   // longest partner taken from the file
};

// Replaces the table with the pairs of "<name>.txt".  An empty or null name
// means no alias file: the table is emptied and marked loaded.  Returns 1,
// or 0 when the file cannot be read ("Unable to read file:", level 10; the
// table is then empty and every symbol maps to itself).
int read_alias_file(const char* name);

// The symbol that `symbol` stands for in `direction`: the partner of the
// first pair whose member matches, the symbol itself when none matches, or
// null when the partner begins with "-".  A partner is returned in a buffer
// of the calling thread that the next call overwrites; an unmatched symbol
// is returned as the pointer passed in.
const char* lookup_alias(const char* symbol, int direction);

// Forgets the table; the next lookup reads the file named by the setting
// again.  Called at exit and when the setting changes.
void free_alias_table();
