// Page layouts: the window descriptor record, the descriptor list and the
// pages file (".kvc") that holds one descriptor per open window.
//
// Pages file, little-endian:
//   header, 24 bytes: 0 revision (7), 2 number of windows (signed 16-bit),
//   4 list head at writing time (written 0, ignored), 8 sixteen zero bytes;
//   then per window its 1572-byte descriptor, its studies (224 bytes each,
//   as many as the descriptor's study count) and its items (12 bytes each,
//   as many as the item count of its settings when that is 1 to 72).
// A chart favourite (".fav") is the same descriptor with its studies behind
// a 24-byte header of its own (shell/core/chartstore.h).
//
// Failure rule of the readers: the file is refused whole when a header or
// record is short, a study count is more than the rest of the file holds,
// an item count lies outside 0..72, or a document path holds ".."; nothing
// read so far is kept.  A document path, absolute or not, keeps only its
// last folder and file name, relative to the data root.  Texts end inside
// their fields.  The writer writes a temporary file beside the
// target and renames it, keeping the previous file as "<path>bak".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/chartsettings.h"

struct StudyDef;
struct kv_file_error;

constexpr int WINDOW_DESCRIPTOR_SIZE = 1572;
constexpr int PAGES_HEADER_SIZE = 24;
constexpr int PAGES_REVISION = 7;
constexpr int PAGE_ITEM_SIZE = 12;
constexpr int PAGE_ITEMS_MAX = 72;
constexpr int DESCRIPTOR_PATH_SIZE = 260;
constexpr int DESCRIPTOR_EXTRA_SIZE = 640;

// Descriptor flags (favourites only).
enum : uint8_t { DESC_MARK_DELETE = 0x01, DESC_DEFAULT = 0x02 };

// One window of a page layout, or one chart favourite.  File offsets in the
// comments; the in-memory words (link, study list, lender) are written as 0.
struct WindowDescriptor {
  WindowDescriptor* next;             // 0
  uint8_t flags;                      // 4: DESC_*
  int32_t kind;                       // 8: WindowKind (favourites: 1)
  char path[DESCRIPTOR_PATH_SIZE];    // 12: document path, relative to the data root
  ChartSettings settings;             // 272; settings.items owns count x 12 bytes
  int32_t extra_count;                // 900: extra symbols of a multi-symbol chart
  char extra[DESCRIPTOR_EXTRA_SIZE];  // 904: each preceded by " +"
  int32_t study_count;                // 1544
  StudyDef* studies;                  // 1548: owned, or lent from *lent_from
  int16_t use_count;                  // 1552
  int16_t use_changed;                // 1554
  // Where a lent study list goes back to (the chart record's or a
  // document's list head); null when the descriptor owns its studies.
  StudyDef** lent_from;  // 1556
};
typedef WindowDescriptor FavoriteRecord;

// A zeroed descriptor (calloc); free_descriptor frees it with its items and
// its own studies (a lent list is given back first).
WindowDescriptor* new_descriptor(void);
void free_descriptor(WindowDescriptor* d);
// Gives a lent study list back to its owner; a list the descriptor owns is
// freed.  Afterwards the descriptor has none.
void release_descriptor_studies(WindowDescriptor* d);
// Moves the list at *from into the descriptor (the owner has none until it
// is given back); count is the number of studies.  Takes g_chart_lock.
void lend_descriptor_studies(WindowDescriptor* d, StudyDef** from);

// The record's file image; in-memory words become 0, flags as kept.
void encode_descriptor(const WindowDescriptor* d, uint8_t out[WINDOW_DESCRIPTOR_SIZE]);
// Reads a record: in-memory words null, texts terminated inside their
// fields, items null.  Studies are not read.
void decode_descriptor(const uint8_t* in, WindowDescriptor* d);

// A cursor over a file's bytes for the readers.
struct page_reader {
  const uint8_t* data;
  size_t len;
  size_t pos;
  size_t left() const { return len - pos; }
};

// The blocks behind a record.  read_descriptor_studies reads study_count
// stored studies into a new list (library studies are bound through
// g_bind_user_study; one that cannot be bound is left out and the count
// follows); 0 when the count is negative or more than the rest holds.
int read_descriptor_studies(page_reader* r, WindowDescriptor* d);
void write_descriptor_studies(const WindowDescriptor* d, std::string* out);
// Items: for an item count 1..72, count x 12 bytes; 0 when short or the
// count is outside 0..72.
int read_descriptor_items(page_reader* r, WindowDescriptor* d);
void write_descriptor_items(const WindowDescriptor* d, std::string* out);

// ---- the descriptor list and the pages file ---------------------------------

enum page_read_result { PAGE_READ_OK, PAGE_READ_MISSING, PAGE_READ_CORRUPT, PAGE_READ_REVISION };

// The descriptor list: tail append, its count and revision form the image
// of the pages file's header.
struct page_list {
  WindowDescriptor* head = nullptr;
  int16_t count = 0;
  int16_t revision = PAGES_REVISION;
};
void page_list_append(page_list* l, WindowDescriptor* d);
// Unlinks d (null: the first); returns it, or null when not in the list.
WindowDescriptor* page_list_unlink(page_list* l, WindowDescriptor* d);
// Frees every descriptor (lent lists go back to their owners).
void page_list_free(page_list* l);

// Parses a pages file image into an empty list.  On failure the list is
// left empty.
page_read_result parse_pages_file(const uint8_t* data, size_t len, page_list* l);
// The image of a pages file for the list (the list is not changed).
void build_pages_file(const page_list* l, std::string* out);
// Writes the list to path: a temporary file renamed over path once whole,
// the previous file kept as "<path>bak" (an older backup replaced).  Then
// empties the list either way: with free_studies every study list is
// freed, else lent lists go back to their owners.  Returns 1, or 0 with err
// filled (the old file and its backup unchanged).
int write_pages_file(const char* path, page_list* l, int free_studies, kv_file_error* err);

// Keeps only the last folder and the file name of a document path
// ("C:\x\SLF\a.slf" -> "SLF/a.slf").  Returns 0 for a path holding ".." as
// a part (the record is refused).
int reduce_document_path(char* path);
