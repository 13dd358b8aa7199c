// The open-orders file: the orders still open at exit, read back at the
// next start.  "CONFIG/openorders<c>.dump" under the data root (<c> the
// instance letter when the program runs with one): i32 version 3, then
// whole 472-byte order images (broker/orders.h) back to back.
#pragma once

#include <cstddef>

enum { OPEN_ORDERS_VERSION = 3 };

// Path of the file into buf; null when it does not fit.
char* open_orders_path(char* buf, size_t size);
// Saves every order with a quantity; real orders are marked Inactive and
// unconfirmed first, and every order loses its study attachment.  The file
// is replaced whole.  1 written, 0 not ("Can't create open orders file: ").
int write_open_orders();
// Creates the saved orders again on their symbols' records; an order
// already on its record (same relay id and paper bit) is left alone, as is
// a record with prices that are not numbers or a status outside 1..7.
// The number of orders created.
int read_open_orders();
