// Configuration text files: the token-file reader, the text clean-up rules
// ("#" comments, blank lines, carriage returns), line readers and the path
// builder of the data root.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Modes of read_token_file.
enum {
  TOKENS_PER_LINE_MASK = 0xFF,  // tokens taken from each line; 0 all
  TOKEN_FILE_QUIET = 0x100,     // a missing file is not reported
};

// A token file read whole: count tokens, then a null entry and, after it, the
// address of the single allocation that holds the pointers and the texts.
struct token_list {
  int count;
  char **tokens;
};

// A file of the CONFIG folder read on first use and kept until dropped.
struct config_file_once {
  token_list list;
  bool read;
};
// Reads CONFIG/<name> into cfg->list the first time only (see the modes
// above; a missing file is never reported by the reader).  A failure logs
// "Unable to read file:" with the path and leaves the list empty, and the
// file is not tried again until drop_config_once.  The caller serialises.
void read_config_once(config_file_once *cfg, const char *name, int mode);
// Frees the list; the next read_config_once reads the file again.
void drop_config_once(config_file_once *cfg);

// Reads path into tokens (see the modes above).  1 on success (count may be
// 0, *tokens is then null), 0 on failure.  Free with free_tokens.
int read_token_file(const char *path, int *count, char ***tokens, int mode);
int read_token_file(const char *path, token_list *list, int mode);
// The same over a file's bytes already in memory; name is used in reports.
int tokens_from_text(const char *data, size_t size, const char *name, int mode, int *count,
                     char ***tokens);
// Packs texts into one allocation laid out as a token list: the texts, then,
// at a 16-byte boundary, the pointer array, a null entry and the
// allocation's own address.  Null when out of memory; free with free_tokens.
char **pack_string_block(const std::vector<std::string> &texts);
// Releases a token array returned by read_token_file (null is fine).
void free_tokens(char **tokens);
void free_token_list(token_list *list);

// Reads the next line of an open file (at most size - 1 bytes), keeping the
// line feed and dropping carriage returns.  Null when nothing is left.
char *read_file_line(char *buf, int size, FILE *f);
// Copies the next line of a loaded text (at most size - 1 characters, line
// feed included) and moves *cursor past it.  Null at the end of the text.
char *cfg_read_line(char *buf, int size, char **cursor);
// In place: leading blanks, "#" comments (and the blanks before them) and
// empty lines removed.
void clean_config_text(char *text);
void strip_cr(char *text);
// <data root>/<dir>/<file>, each part only when given.  buf holds KV_MAX_PATH
// bytes; a longer path is cut.
char *data_path(char *buf, const char *dir, const char *file);
