// The live-quote dump: mqtdata<c>.dump in the CONFIG folder keeps the last
// quote, session values, minute volumes, time and sales, histogram and
// paper position of each record from one page layout to the next.
#pragma once

enum {
  MQT_DUMP_VERSION = 4096,
  MQT_DUMP_VERSION_MAX = 4351,
  MQT_DUMP_RECORD_SIZE = 8140,
};

// Writes every streamable, kept (0x4000) or account record. 1 written, 0
// failed (the old file is kept).
int write_mqt_dump();
// Restores the dumped records into the live records of their symbols;
// the number restored.
int read_mqt_dump();
