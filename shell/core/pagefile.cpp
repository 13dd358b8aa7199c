// Window descriptors, the descriptor list and the pages file.
#include "shell/core/pagefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/lefield.h"
#include "platform/assert.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "studies/study.h"

// ============================================================================
// Descriptor records
// ============================================================================

WindowDescriptor* new_descriptor(void) {
  return (WindowDescriptor*)calloc(1, sizeof(WindowDescriptor));
}

void release_descriptor_studies(WindowDescriptor* d) {
  if (d->lent_from) {
    kv_lock guard(g_chart_lock);
    KV_ASSERT(*d->lent_from == nullptr);
    *d->lent_from = d->studies;
  } else {
    free_study_list(d->studies);
  }
  d->studies = nullptr;
  d->lent_from = nullptr;
}

void lend_descriptor_studies(WindowDescriptor* d, StudyDef** from) {
  KV_ASSERT(!d->studies && !d->lent_from);
  kv_lock guard(g_chart_lock);
  d->studies = *from;
  *from = nullptr;
  d->lent_from = from;
  int n = 0;
  for (StudyDef* s = d->studies; s; s = s->next) n++;
  d->study_count = n;
}

void free_descriptor(WindowDescriptor* d) {
  if (!d) return;
  release_descriptor_studies(d);
  free(d->settings.items);
  free(d);
}

void encode_descriptor(const WindowDescriptor* d, uint8_t* p) {
  memset(p, 0, WINDOW_DESCRIPTOR_SIZE);
  p[4] = d->flags;
  put_le32(p + 8, (uint32_t)d->kind);
  put_text_field(p + 12, d->path, DESCRIPTOR_PATH_SIZE);
  encode_chart_settings(&d->settings, p + 272);
  put_le32(p + 900, (uint32_t)d->extra_count);
  put_text_field(p + 904, d->extra, DESCRIPTOR_EXTRA_SIZE);
  put_le32(p + 1544, (uint32_t)d->study_count);
  put_le16(p + 1552, (uint16_t)d->use_count);
  put_le16(p + 1554, (uint16_t)d->use_changed);
}

void decode_descriptor(const uint8_t* p, WindowDescriptor* d) {
  memset(d, 0, sizeof *d);
  d->flags = p[4];
  d->kind = (int32_t)get_le32(p + 8);
  memcpy(d->path, p + 12, DESCRIPTOR_PATH_SIZE);
  d->path[DESCRIPTOR_PATH_SIZE - 1] = 0;
  decode_chart_settings(p + 272, &d->settings);
  d->extra_count = (int32_t)get_le32(p + 900);
  memcpy(d->extra, p + 904, DESCRIPTOR_EXTRA_SIZE);
  d->extra[DESCRIPTOR_EXTRA_SIZE - 1] = 0;
  d->study_count = (int32_t)get_le32(p + 1544);
  d->use_count = (int16_t)get_le16(p + 1552);
  d->use_changed = (int16_t)get_le16(p + 1554);
}

int read_descriptor_studies(page_reader* r, WindowDescriptor* d) {
  d->studies = nullptr;
  d->lent_from = nullptr;
  int n = d->study_count;
  if (n < 0 || (size_t)n > r->left() / STUDY_STORED_SIZE) {
    d->study_count = 0;
    return 0;
  }
  StudyDef** tail = &d->studies;
  int count = 0;
  for (int i = 0; i < n; i++) {
    StudyDef* s = (StudyDef*)calloc(1, sizeof(StudyDef));
    if (!s) break;
    study_from_stored(s, r->data + r->pos);
    r->pos += STUDY_STORED_SIZE;
    s->next = nullptr;
    s->id = 0;
    s->attached_order = 0;
    // A library study needs its library; one whose library is gone is
    // left out of its window.
    if (s->lib_name[0] && !(g_bind_user_study && g_bind_user_study(s))) {
      free(s);
      continue;
    }
    *tail = s;
    tail = &s->next;
    count++;
  }
  d->study_count = count;
  return 1;
}

void write_descriptor_studies(const WindowDescriptor* d, std::string* out) {
  kv_lock guard(g_chart_lock);  // a lent list belongs to a live chart
  unsigned char block[STUDY_STORED_SIZE];
  for (const StudyDef* s = d->studies; s; s = s->next) {
    study_to_stored(s, block);
    out->append((const char*)block, sizeof block);
  }
}

int read_descriptor_items(page_reader* r, WindowDescriptor* d) {
  ChartSettings& cs = d->settings;
  cs.items = nullptr;
  // Items follow only for a count of 1 to the maximum; any other count has
  // none in the file, and the window that reads it falls back to its
  // defaults.
  if (cs.item_count < 1 || cs.item_count > PAGE_ITEMS_MAX) return 1;
  size_t bytes = (size_t)cs.item_count * PAGE_ITEM_SIZE;
  if (r->left() < bytes) {
    cs.item_count = 0;
    return 0;
  }
  cs.items = malloc(bytes);
  if (!cs.items) return 0;
  memcpy(cs.items, r->data + r->pos, bytes);
  r->pos += bytes;
  return 1;
}

void write_descriptor_items(const WindowDescriptor* d, std::string* out) {
  const ChartSettings& cs = d->settings;
  if (cs.item_count < 1 || cs.item_count > PAGE_ITEMS_MAX) return;
  // The reader expects as many items as the count says: a window that has
  // none in memory yet writes empty ones.
  size_t bytes = (size_t)cs.item_count * PAGE_ITEM_SIZE;
  if (cs.items)
    out->append((const char*)cs.items, bytes);
  else
    out->append(bytes, '\0');
}

int reduce_document_path(char* path) {
  if (!path[0]) return 1;
  kv_path_normalize(path);
  // The parts of the path, without empty ones and drive letters ("C:").
  std::vector<std::string> parts;
  for (const char* p = path; *p;) {
    const char* e = strchr(p, '/');
    std::string part(p, e ? (size_t)(e - p) : strlen(p));
    // Every part is checked, also those dropped below: a stored path that
    // climbs is a made-up one.
    if (part == "..") return 0;
    if (!part.empty() && part != "." && part.back() != ':') parts.push_back(part);
    if (!e) break;
    p = e + 1;
  }
  if (parts.empty()) return 0;
  std::string kept = parts.size() > 1 ? parts[parts.size() - 2] + "/" + parts.back() : parts.back();
  snprintf(path, DESCRIPTOR_PATH_SIZE, "%s", kept.c_str());
  return 1;
}

// ============================================================================
// The descriptor list
// ============================================================================

void page_list_append(page_list* l, WindowDescriptor* d) {
  d->next = nullptr;
  WindowDescriptor** p = &l->head;
  while (*p) p = &(*p)->next;
  *p = d;
  l->count++;
}

WindowDescriptor* page_list_unlink(page_list* l, WindowDescriptor* d) {
  for (WindowDescriptor** p = &l->head; *p; p = &(*p)->next) {
    if (!d || *p == d) {
      WindowDescriptor* found = *p;
      *p = found->next;
      found->next = nullptr;
      l->count--;
      return found;
    }
  }
  return nullptr;
}

void page_list_free(page_list* l) {
  while (WindowDescriptor* d = page_list_unlink(l, nullptr)) free_descriptor(d);
  l->count = 0;
  l->revision = PAGES_REVISION;
}

// ============================================================================
// The pages file
// ============================================================================

page_read_result parse_pages_file(const uint8_t* data, size_t len, page_list* l) {
  page_list_free(l);
  if (len < PAGES_HEADER_SIZE) return PAGE_READ_CORRUPT;
  if (get_le16(data) != PAGES_REVISION) return PAGE_READ_REVISION;
  int count = (int16_t)get_le16(data + 2);
  if (count < 0) return PAGE_READ_CORRUPT;
  page_reader r{data, len, PAGES_HEADER_SIZE};
  for (int i = 0; i < count; i++) {
    if (r.left() < WINDOW_DESCRIPTOR_SIZE) break;
    WindowDescriptor* d = new_descriptor();
    if (!d) break;
    decode_descriptor(data + r.pos, d);
    r.pos += WINDOW_DESCRIPTOR_SIZE;
    d->flags = 0;
    d->use_changed = 0;
    bool ok = reduce_document_path(d->path);
    if (ok) ok = read_descriptor_studies(&r, d);
    if (ok) ok = read_descriptor_items(&r, d);
    if (!ok) {
      free_descriptor(d);
      break;
    }
    page_list_append(l, d);
  }
  if (l->count != count) {
    page_list_free(l);
    return PAGE_READ_CORRUPT;
  }
  return PAGE_READ_OK;
}

void build_pages_file(const page_list* l, std::string* out) {
  uint8_t header[PAGES_HEADER_SIZE] = {};
  put_le16(header, PAGES_REVISION);
  put_le16(header + 2, (uint16_t)l->count);
  out->assign((const char*)header, sizeof header);
  uint8_t rec[WINDOW_DESCRIPTOR_SIZE];
  for (const WindowDescriptor* d = l->head; d; d = d->next) {
    encode_descriptor(d, rec);
    out->append((const char*)rec, sizeof rec);
    write_descriptor_studies(d, out);
    write_descriptor_items(d, out);
  }
}

int write_pages_file(const char* path, page_list* l, int free_studies, kv_file_error* err) {
  std::string image;
  build_pages_file(l, &image);
  int ok = 0;
  // The new file is written whole beside the old one first; only then is
  // the old one copied to the backup and the new one renamed over it.
  std::string bak = std::string(path) + "bak";
  kv_atomic_file* f = kv_atomic_begin(path, err);
  if (f) {
    FILE* s = kv_atomic_stream(f);
    if (fwrite(image.data(), 1, image.size(), s) != image.size() || fflush(s) != 0) {
      kv_file_error_set(err, ferror(s) ? errno : ENOSPC, path);
      kv_atomic_abort(f);
    } else if (kv_file_exists(path) && !kv_copy_file(path, bak.c_str(), 0, err)) {
      kv_atomic_abort(f);
    } else {
      ok = kv_atomic_commit(f, err);
    }
  }
  while (WindowDescriptor* d = page_list_unlink(l, nullptr)) {
    if (free_studies && d->lent_from) {
      // The owners are gone (the final close): the studies go with the
      // descriptor.
      d->lent_from = nullptr;
    }
    free_descriptor(d);
  }
  page_list_free(l);
  return ok;
}
