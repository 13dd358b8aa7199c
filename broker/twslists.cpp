// symbolmods.txt, allow.txt and inhibit.txt.
#include "broker/twslists.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <mutex>

#include "data/statmsg.h"
#include "data/textutil.h"
#include "data/tokenfile.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

enum { PREF_STATUS_DETAILS = 0x2000 };

static std::mutex s_lists_lock;
static config_file_once s_mods, s_allow, s_inhibit;

// The list, read at first use; logged once with Flags bit 0x2000.
static const token_list* list_of(config_file_once* cfg, const char* name, int per_line,
                                 int max_tokens) {
  std::lock_guard<std::mutex> g(s_lists_lock);
  if (!cfg->read) {
    read_config_once(cfg, name, TOKEN_FILE_QUIET | per_line);
    if (cfg->list.count > max_tokens) cfg->list.count = max_tokens;
    if ((g_pref_flags & PREF_STATUS_DETAILS) && cfg->list.count) {
      statmsg(nullptr, 0, "Loaded: ", name, STATMSG_NOTICE);
      int step = per_line ? per_line : 1;
      for (int i = 0; i + step <= cfg->list.count; i += step) {
        char line[200];
        if (step == 3)
          snprintf(line, sizeof line, "%s %s %s", cfg->list.tokens[i], cfg->list.tokens[i + 1],
                   cfg->list.tokens[i + 2]);
        else
          snprintf(line, sizeof line, "%s", cfg->list.tokens[i]);
        statmsg(nullptr, 0, line, nullptr, STATMSG_NOTICE);
      }
    }
  }
  return &cfg->list;
}

int apply_symbol_mods(mqt* r) {
  const token_list* l = list_of(&s_mods, "symbolmods.txt", 3, SYMBOL_MODS_TOKENS);
  kv_lock guard(g_chart_lock);
  for (int i = 0; i + 3 <= l->count; i += 3) {
    if (strcasecmp(l->tokens[i], r->symbol) != 0) continue;
    const char* currency = l->tokens[i + 1];
    const char* exchange = l->tokens[i + 2];
    // Cut to the record's fields, terminator kept.
    if (currency[0] && strcmp(currency, "-") != 0)
      snprintf(r->currency, sizeof r->currency, "%s", currency);
    if (exchange[0] && strcmp(exchange, "-") != 0)
      snprintf(r->exchange, sizeof r->exchange, "%s", exchange);
    return 1;
  }
  return 0;
}

static int matches(const token_list* l, const char* symbol) {
  for (int i = 0; i < l->count; i++)
    if (wildcard_match(l->tokens[i], symbol) == 0) return 1;
  return 0;
}

int symbol_allowed(const mqt* r) {
  return matches(list_of(&s_allow, "allow.txt", 0, SYMBOL_PATTERN_TOKENS), r->symbol);
}

int symbol_inhibited(const mqt* r) {
  return matches(list_of(&s_inhibit, "inhibit.txt", 0, SYMBOL_PATTERN_TOKENS), r->symbol);
}

void tws_lists_reset() {
  std::lock_guard<std::mutex> g(s_lists_lock);
  drop_config_once(&s_mods);
  drop_config_once(&s_allow);
  drop_config_once(&s_inhibit);
}
