// Program command line.
#include "data/cmdline.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data/debugtrace.h"
#include "data/logfiles.h"

char g_instance_letter;

constexpr int MAX_OPTION_WORDS = 199;

static bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

int split_option_words(char* text, char** words, int max_words, int rest_mode) {
  int count = 0;
  char* p = text;
  while (count < max_words) {
    while (is_white(*p)) p++;
    if (!*p) break;
    if (*p == '"') {
      if (p[1] == '"') {
        // An empty pair: one blank, and the end of the splitting.
        p[0] = ' ';
        p[1] = 0;
        words[count++] = p;
        break;
      }
      char* start = p + 1;
      char* end = strchr(start, '"');
      words[count++] = start;
      if (!end) break;
      *end = 0;
      p = end + 1;
      continue;
    }
    words[count++] = p;
    if (rest_mode > 0 && count == max_words) break;
    bool blanks_inside = rest_mode < 0 && count == -rest_mode;
    while (*p && *p != ',' && !(is_white(*p) && !(blanks_inside && *p == ' '))) p++;
    if (!*p) break;
    *p++ = 0;
  }
  return count;
}

// Instance letters go into file names: refuse what a file name cannot hold.
static bool valid_instance_letter(char c) {
  unsigned char u = (unsigned char)c;
  return u > ' ' && u != 0x7f && c != '/' && c != '\\' && c != '.' && c != '"';
}

static void set_level(uint32_t level) {
  g_option_flags = (g_option_flags & ~(uint32_t)OPT_LEVEL_MASK) | ((level & 3) << OPT_LEVEL_SHIFT);
}

static uint32_t switch_bit(char c) {
  switch (c) {
    case 'a':
      return OPT_TRACE_ANNOT;
    case 'b':
      return OPT_TRACE_CHART;
    case 'd':
      return OPT_D_UNUSED;
    case 'D':
      return OPT_TRACE_DISPLAYINFO;
    case 'g':
      return OPT_TRACE_CHARTSTORE;
    case 'h':
      return OPT_TRACE_HEATMAP;
    case 'H':
      return OPT_TRACE_HORSERACE;
    case 'n':
      return OPT_TRACE_INET;
    case 'm':
      return OPT_TRACE_MAINFRAME;
    case 'p':
      return OPT_TRACE_PANE;
    case 'q':
      return OPT_Q_UNUSED;
    case 's':
      return OPT_TRACE_STUDY;
    case 'T':
      return OPT_TRACE_MARKET;
    case 'v':
      return OPT_TRACE_VIEW;
    default:
      return 0;
  }
}

static bool is_switch_word(const char* word) {
  if (word[0] == '-') return true;
  // "/home/u/IBM.dyd" is a path, not switch h.
  return word[0] == '/' && !strchr(word + 1, '/');
}

void ParseProgramOptions(const char* command_line) {
  set_level(3);
  if (!command_line) return;
  char* text = strdup(command_line);
  if (!text) return;
  char* words[MAX_OPTION_WORDS];
  int count = split_option_words(text, words, MAX_OPTION_WORDS, 0);

  for (int i = 0; i < count; i++) {
    const char* word = words[i];
    if (!is_switch_word(word)) continue;
    char c = word[1];
    const char* value = word + 2;
    if (uint32_t bit = switch_bit(c)) {
      g_option_flags |= bit;
      continue;
    }
    switch (c) {
      case 'S':
        set_level(*value ? (uint32_t)strtol(value, nullptr, 0) : 1);
        break;
      case 't': {
        g_option_flags |= OPT_TRACE_MASK_SET;
        char* end;
        long mask = strtol(value, &end, 0);
        if (end != value) g_trace_mask = (uint32_t)mask;
        break;
      }
      case 'x':
        if (valid_instance_letter(*value)) {
          g_option_flags |= OPT_INSTANCE;
          g_instance_letter = *value;
        }
        break;
      case 'E':
      case 'e':
      case 'I':
      case 'i':
      case 'L':
      case 'l': {
        char u = (char)toupper((unsigned char)c);
        log_file* log = u == 'E' ? &g_error_log_file : u == 'L' ? &g_log_file : &g_trace_file;
        if (log->on || i + 1 >= count) break;
        const char* name = words[++i];
        if (u == 'E')
          open_log_file(log, name, "a", "Korvane ErrorLog { Created %s }\n");
        else if (u == 'L')
          open_log_file(log, name, "a", "Korvane Log { Created %s }\n");
        else
          open_log_file(log, name, "w", "Korvane Log { Created %s }\n");
        break;
      }
      default:
        break;
    }
  }
  free(text);
}

char* join_command_line(int argc, const char* const* argv) {
  size_t size = 1;
  for (int i = 1; i < argc; i++) size += strlen(argv[i]) + 3;
  char* text = (char*)malloc(size);
  if (!text) return nullptr;
  char* p = text;
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (!*arg) continue;
    if (p != text) *p++ = ' ';
    bool quote = strpbrk(arg, " \t\r\n\v\f,") != nullptr;
    if (quote) *p++ = '"';
    size_t n = strlen(arg);
    memcpy(p, arg, n);
    p += n;
    if (quote) *p++ = '"';
  }
  *p = 0;
  return text;
}
