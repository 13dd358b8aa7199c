// Text helpers used program-wide: a tokenizer that keeps its position in the
// caller's cursor, word splitting of typed symbol expressions, bounded copies,
// wildcard matching and a minimal XML element search.
#pragma once

// Skips the delimiters at *cursor, then returns the token up to the next
// delimiter (overwritten by NUL) and moves *cursor past it.  Null at the end.
char *next_token(char **cursor, const char *delims);
// The next token read as a decimal integer; 0 when there is none.
int next_token_int(char **cursor, const char *delims);
// Within the current line: the text between the first `quote` character and
// its next occurrence.  A line without it gives the next blank/tab/LF token.
char *next_token_until(char **cursor, char quote);
// Like next_token_until's quoted form but for import texts: blanks and tabs
// skipped, quotes dropped, the token ends before the next `delim` text (or
// runs to the end when delim is null or empty); leading blanks/tabs/'<' and
// trailing blanks/tabs/'>' are removed.
char *next_quoted_token(char **cursor, const char *delim);

// Splits a typed symbol expression into words kept in one static buffer of
// 512 characters.  `words` holds max + 1 entries.  User-interface thread only.
int split_words(const char *text, char **words, int max);

// Copies at most n characters; dst holds n + 1 and is always terminated.
void copy_string_n(char *dst, const char *src, int n);
// Removes every comma in place.
void strip_commas(char *text);

// Case-insensitive match: '?' one character, '[set]' one of a set ('!' first
// negates, ranges with '-'), '*' any run.  0 match, -1 no match, 1 the text
// ended before the pattern.
int wildcard_match(const char *pattern, const char *text);
// Tests c against the set whose text starts right after '['; advances
// *pattern past the closing ']'.  1 when c is in the set.
int match_char_set(const char **pattern, char c);
// Finds <name ...>content</name> in text (modified: the closing tag is cut).
// Returns the content or null; *rest is the text after the closing tag, or
// null when nothing follows or there is no closing tag.
char *find_xml_element(char *text, char **rest, const char *name);
