// Saving and reading back the open orders.
#include "broker/openorders.h"

#include <stdio.h>
#include <string.h>

#include <vector>

#include "broker/orders.h"
#include "data/chartheader.h"
#include "data/cmdline.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

enum : uint32_t { PREF_STATUS_DETAILS = 0x2000 };  // g_pref_flags: report each order read

char* open_orders_path(char* buf, size_t size) {
  char name[32];
  if (g_instance_letter)
    snprintf(name, sizeof name, "openorders%c.dump", g_instance_letter);
  else
    snprintf(name, sizeof name, "openorders.dump");
  return data_folder_path(buf, size, KV_DIR_CONFIG, name);
}

int write_open_orders() {
  char path[1024];
  if (!open_orders_path(path, sizeof path)) return 0;
  std::vector<uint8_t> buf(4);
  put_le32(buf.data(), OPEN_ORDERS_VERSION);
  {
    kv_lock guard(g_chart_lock);
    for (mqt* r = g_mqt_list; r; r = r->next)
      for (order_rec* o = r->orders; o; o = o->next) {
        if (!(o->relay.type & ORDER_SIMULATED)) {
          o->status = ORDER_INACTIVE;
          o->flags |= ORDER_F_UNCONFIRMED;
        }
        o->flags &= ~ORDER_F_STUDY;
        if (o->relay.quantity != 0) {
          size_t at = buf.size();
          buf.resize(at + ORDER_IMAGE_SIZE);
          encode_order(o, &buf[at]);
        }
      }
  }
  char folder[1024];
  if (data_folder_path(folder, sizeof folder, KV_DIR_CONFIG, nullptr))
    kv_make_dirs(folder, nullptr);
  if (!kv_write_file_atomic(path, buf.data(), buf.size(), nullptr)) {
    statmsg(__FILE__, __LINE__, "Can't create open orders file: ", path, STATMSG_ERROR);
    return 0;
  }
  return 1;
}

// 1 when the record already has this order.  Real orders the relay never
// accepted all have id 0: those are told apart by their whole request.
static int already_there(mqt* r, const order_rec* o) {
  uint8_t mine[ORDER_RELAY_SIZE], theirs[ORDER_RELAY_SIZE];
  encode_relay_part(&o->relay, mine);
  for (order_rec* p = r->orders; p; p = p->next) {
    if (p->relay.order_id != o->relay.order_id ||
        (p->relay.type & ORDER_SIMULATED) != (o->relay.type & ORDER_SIMULATED))
      continue;
    if (o->relay.order_id) return 1;
    encode_relay_part(&p->relay, theirs);
    if (memcmp(mine, theirs, sizeof mine) == 0 && p->perm_id == o->perm_id) return 1;
  }
  return 0;
}

int read_open_orders() {
  char path[1024];
  if (!open_orders_path(path, sizeof path)) return 0;
  FILE* f = kv_fopen_existing(path, "rb", nullptr);
  if (!f) return 0;
  uint8_t head[4];
  if (fread(head, 1, 4, f) != 4 || get_le32(head) != OPEN_ORDERS_VERSION) {
    fclose(f);
    statmsg(__FILE__, __LINE__, "obsolete openorders.dump file being ignored", nullptr,
            STATMSG_ERROR);
    return 0;
  }
  int n = 0;
  uint8_t image[ORDER_IMAGE_SIZE];
  while (fread(image, 1, sizeof image, f) == sizeof image) {
    order_rec saved;
    memset(&saved, 0, sizeof saved);
    if (!decode_order(image, &saved) || saved.status < ORDER_PENDING_SUBMIT ||
        saved.status > ORDER_INACTIVE || !saved.symbol[0])
      continue;
    // A record's symbol holds one character less than the stored field:
    // cut it so that a second read finds the record made by the first.
    saved.symbol[MQT_SYMBOL_SIZE - 1] = 0;
    kv_lock guard(g_chart_lock);
    // One user of our own while the order is made; the order keeps one.
    mqt* r = create_multiquote_struct(saved.symbol);
    if (!r) continue;
    if (!already_there(r, &saved)) {
      if (order_rec* o = create_order(r)) {
        order_rec* next = o->next;
        uint32_t serial = o->serial;
        *o = saved;
        o->next = next;
        o->record = r;
        o->serial = serial;
        o->window = 0;
        n++;
        if (g_pref_flags & PREF_STATUS_DETAILS) {
          char text[96];
          snprintf(text, sizeof text, "Open %sorder for %s",
                   (o->relay.type & ORDER_SIMULATED) ? "simulated " : " ", o->symbol);
          statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_NOTICE);
        }
      }
    }
    delete_multiquote(r);
  }
  fclose(f);
  return n;
}
