// The open-orders file: hand-written images read back, versions, records
// that are refused, reading twice, and the file written at exit.
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <string>

#include "broker/openorders.h"
#include "broker/tests/orders_fixture.h"
#include "data/cmdline.h"
#include "data/tests/status_capture.h"

namespace {

// A 472-byte order image written field by field at its offsets.
struct Image {
  std::string b = std::string(472, '\0');
  void put32(int off, uint32_t v) {
    for (int i = 0; i < 4; i++) b[off + i] = (char)(v >> (8 * i));
  }
  void putd(int off, double d) {
    uint64_t bits;
    memcpy(&bits, &d, 8);
    put32(off, (uint32_t)bits);
    put32(off + 4, (uint32_t)(bits >> 32));
  }
  void text(int off, const char *s) { memcpy(&b[off], s, strlen(s)); }
};

Image sample(const char *symbol, int relay_id, uint32_t type_word, uint32_t status) {
  Image m;
  m.put32(0, 0xDEADBEEF);  // pointer words of another run
  m.put32(4, 0xDEADBEEF);
  m.put32(8, 0x1234);
  m.text(12, "carried");  // unnamed bytes
  m.text(20, "ADVGROUP");
  m.put32(212, 1);
  m.put32(216, 5);
  m.text(224, "unnamed-16-byte!");
  m.put32(244, 0x7FFFFFFF);
  m.put32(264, relay_id);
  m.put32(272, 1 << 2);
  m.put32(276, 0x1000 | 0x8);
  m.putd(288, 9.5);
  m.text(296, symbol);
  m.b[329] = 'C';
  m.b[336] = 13;
  m.put32(340, 200);       // quantity
  m.putd(344, 10.25);      // limit
  m.putd(352, 9.75);       // aux
  m.put32(364, relay_id);  // relay order id
  m.put32(372, type_word);
  m.text(376, "0123456789ABCDEFG");  // 17 characters over a 16-byte field...
  m.b[392] = 0;                      // ...and the account right behind it
  m.text(392, "PAPER1");
  m.put32(452, 0);
  m.put32(456, 200);
  m.put32(460, relay_id);
  m.put32(468, status);
  return m;
}

std::string file_of(uint32_t version, std::initializer_list<std::string> images) {
  std::string f(4, '\0');
  for (int i = 0; i < 4; i++) f[i] = (char)(version >> (8 * i));
  for (const std::string &i : images) f += i;
  return f;
}

class OpenOrders : public OrdersTest {};

const uint32_t kPaperLmtBuy = 0x1 | 0x10 | (2u << 12) | 0x100000 | 0x200000;
const uint32_t kRealStpSell = 0x2 | 0x20 | (3u << 12) | 0x200000;

TEST_F(OpenOrders, ImagesAreReadFieldByFieldOntoTheirSymbols) {
  root_.write(
      "CONFIG/openorders.dump",
      file_of(3, {sample("IBM", 501, kPaperLmtBuy, 4).b, sample("MSFT", 502, kRealStpSell, 7).b}) +
          std::string(100, '\x01'));  // a cut-off record is not an order
  ASSERT_EQ(read_open_orders(), 2);
  mqt *ibm = find_mqt("IBM");
  ASSERT_NE(ibm, nullptr);
  order_rec *o = ibm->orders;
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->record, ibm);
  EXPECT_EQ(o->window, (kv_hwnd)0);
  EXPECT_EQ(o->next, nullptr);
  EXPECT_STREQ(o->advisor_string, "ADVGROUP");
  EXPECT_EQ(o->advisor_mode, 1u);
  EXPECT_EQ(o->oca_number, 5);
  EXPECT_EQ(std::string((const char *)o->unnamed224, 16), "unnamed-16-byte!");
  EXPECT_EQ(std::string((const char *)o->unnamed12, 7), "carried");
  EXPECT_EQ(o->group_id, 501);
  EXPECT_EQ(o->letter, 'C');
  EXPECT_EQ(o->letter_bit, 4);
  EXPECT_DOUBLE_EQ(o->trail_stop, 9.5);
  EXPECT_EQ(o->relay.quantity, 200);
  EXPECT_DOUBLE_EQ(o->relay.limit, 10.25);
  EXPECT_DOUBLE_EQ(o->relay.aux, 9.75);
  EXPECT_EQ(o->relay.order_id, 501);
  EXPECT_EQ(order_action(o), ORDER_BUY);
  EXPECT_EQ(order_type(o), ORDER_LMT);
  EXPECT_STREQ(o->relay.oca, "0123456789ABCDEF");  // cut to its field
  EXPECT_STREQ(o->relay.account, "PAPER1");
  EXPECT_EQ(o->remaining, 200);
  EXPECT_EQ(o->status, (uint32_t)ORDER_SUBMITTED);
  ASSERT_NE(find_mqt("MSFT"), nullptr);
  EXPECT_EQ(find_mqt("MSFT")->orders->status, (uint32_t)ORDER_INACTIVE);

  // A second read (the next page opened) adds nothing.
  EXPECT_EQ(read_open_orders(), 0);
  EXPECT_EQ(ibm->orders->next, nullptr);

  // Written again, the image is the one read, with the pointer words 0.
  uint8_t out[ORDER_IMAGE_SIZE];
  encode_order(o, out);
  Image expect = sample("IBM", 501, kPaperLmtBuy, 4);
  expect.put32(0, 0);
  expect.put32(4, 0);
  expect.put32(8, 0);
  EXPECT_EQ(std::string((const char *)out, ORDER_IMAGE_SIZE), expect.b);
}

TEST_F(OpenOrders, VersionTwoFileIsIgnored) {
  StatusCapture status;
  root_.write("CONFIG/openorders.dump", file_of(2, {sample("IBM", 501, kPaperLmtBuy, 4).b}));
  EXPECT_EQ(read_open_orders(), 0);
  EXPECT_TRUE(status.saw("obsolete openorders.dump file being ignored"));
  EXPECT_EQ(find_mqt("IBM"), nullptr);
  EXPECT_EQ(read_open_orders(), 0);  // nor does an empty root have one
}

TEST_F(OpenOrders, RecordsThatCannotBeOrdersAreSkipped) {
  Image nan_limit = sample("IBM", 1, kPaperLmtBuy, 4);
  nan_limit.putd(344, std::numeric_limits<double>::quiet_NaN());
  Image inf_fill = sample("IBM", 2, kPaperLmtBuy, 4);
  inf_fill.putd(440, std::numeric_limits<double>::infinity());
  Image no_status = sample("IBM", 3, kPaperLmtBuy, 0);
  Image bad_status = sample("IBM", 4, kPaperLmtBuy, 8);
  Image no_symbol = sample("", 5, kPaperLmtBuy, 4);
  Image good = sample("IBM", 6, kPaperLmtBuy, 4);
  // A symbol filling its whole field is cut to a record's symbol.
  Image long_symbol = sample("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 7, kPaperLmtBuy, 4);
  root_.write("CONFIG/openorders.dump",
              file_of(3, {nan_limit.b, inf_fill.b, no_status.b, bad_status.b, no_symbol.b, good.b,
                          long_symbol.b}));
  EXPECT_EQ(read_open_orders(), 2);
  EXPECT_EQ(read_open_orders(), 0);
  ASSERT_NE(find_mqt("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"), nullptr);
  ASSERT_NE(find_mqt("IBM"), nullptr);
  EXPECT_EQ(find_mqt("IBM")->orders->relay.order_id, 6);
}

// Real orders the relay never accepted all carry id 0: each is still read,
// and a second read adds none of them.
TEST_F(OpenOrders, UnacceptedRealOrdersAreEachReadOnce) {
  Image a = sample("IBM", 0, kRealStpSell, 7);
  Image b = sample("IBM", 0, kRealStpSell, 7);
  b.put32(340, 300);  // another quantity
  root_.write("CONFIG/openorders.dump", file_of(3, {a.b, b.b}));
  EXPECT_EQ(read_open_orders(), 2);
  EXPECT_EQ(read_open_orders(), 0);
  mqt *ibm = find_mqt("IBM");
  ASSERT_NE(ibm, nullptr);
  ASSERT_NE(ibm->orders, nullptr);
  ASSERT_NE(ibm->orders->next, nullptr);
  EXPECT_EQ(ibm->orders->next->relay.quantity, 300);
  EXPECT_EQ(ibm->orders->next->next, nullptr);
}

TEST_F(OpenOrders, InstanceLetterNamesItsOwnFile) {
  char path[512];
  g_instance_letter = 'B';
  ASSERT_NE(open_orders_path(path, sizeof path), nullptr);
  EXPECT_NE(std::string(path).find("/CONFIG/openordersB.dump"), std::string::npos);
  g_instance_letter = 0;
  open_orders_path(path, sizeof path);
  EXPECT_NE(std::string(path).find("/CONFIG/openorders.dump"), std::string::npos);
}

TEST_F(OpenOrders, WrittenAtExitAndReadAtTheNextStart) {
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 0);
  r->ask_size = 0;
  order_rec *p = paper(r, ORDER_BUY, ORDER_LMT, 100, 9.5);
  place_order(p);
  p->flags |= ORDER_F_STUDY;
  order_rec *real = create_order(r);
  real->relay.type = order_type_word(ORDER_SELL, ORDER_GTC, ORDER_STP);
  real->relay.quantity = 50;
  real->relay.order_id = 900;
  real->status = ORDER_SUBMITTED;
  create_order(r);  // no quantity: not saved
  ASSERT_EQ(write_open_orders(), 1);
  EXPECT_EQ(real->status, (uint32_t)ORDER_INACTIVE);
  EXPECT_TRUE(real->flags & ORDER_F_UNCONFIRMED);
  EXPECT_FALSE(p->flags & ORDER_F_STUDY);
  std::string file = root_.read("CONFIG/openorders.dump");
  ASSERT_EQ(file.size(), 4u + 2 * 472);
  EXPECT_EQ(file.substr(0, 4), std::string("\x03\0\0\0", 4));

  // A write that fails half-way keeps the file there was.
  order_rec *more = paper(r, ORDER_SELL, ORDER_LMT, 10, 11);
  place_order(more);
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit small = old_limit;
  small.rlim_cur = 600;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  StatusCapture status;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int written = write_open_orders();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(written, 0);
  EXPECT_TRUE(status.saw("Can't create open orders file: "));
  EXPECT_EQ(root_.read("CONFIG/openorders.dump"), file);

  free_all_mqts();
  ASSERT_EQ(read_open_orders(), 2);
  mqt *again = find_mqt("IBM");
  ASSERT_NE(again, nullptr);
  order_rec *first = again->orders;
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first->next, nullptr);
  EXPECT_DOUBLE_EQ(first->relay.limit, 9.5);
  EXPECT_TRUE(first->relay.type & ORDER_SIMULATED);
  EXPECT_EQ(first->next->relay.order_id, 900);
  EXPECT_EQ(first->next->status, (uint32_t)ORDER_INACTIVE);
  EXPECT_EQ(again->users, 2);  // one for each order
}

}  // namespace
