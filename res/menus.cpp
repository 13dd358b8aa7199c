// The menus of the program, written as one path per command in menu order
// ("&View/Time Span/1 Minute\t1"); a path ending in "/-" is a separator and
// "\\/" a slash inside a text.
#include <QString>
#include <QStringList>
#include <deque>
#include <string>

#include "res/resource.h"

namespace {

struct Entry {
  unsigned id;
  const char* path;
};

const Entry kFile[] = {
    {57600, "&File/&New\tCtrl+N"},
    {57601, "&File/&Open Chart...\tCtrl+O"},
    {0, "&File/-"},
    {32845, "&File/&Import..."},
    {33001, "&File/&Export\tAlt+X"},
    {0, "&File/-"},
    {32950, "&File/Open Page Layout..."},
    {32951, "&File/Save Page Layout..."},
    {0, "&File/-"},
    {33122, "&File/&Save SLFMap"},
    {33123, "&File/Save SLFMap &As..."},
    {33124, "&File/Delete SLFMap File"},
    {0, "&File/-"},
    {57607, "&File/&Print...\tCtrl+P"},
    {57609, "&File/Print Pre&view"},
    {57606, "&File/P&rint Setup..."},
    {0, "&File/-"},
    {32844, "&File/Pre&ferences..."},
    {0, "&File/-"},
    {57665, "&File/E&xit"},
};

const Entry kEdit[] = {
    {32926, "&Edit/Prices..."},
    {32820, "&Edit/Favorites..."},
};

const Entry kViewBars[] = {
    {59392, "&View/&Toolbar"},
    {59393, "&View/&Status Bar"},
    {135, "&View/Symbol List File (SLF) Toolbar"},
    {296, "&View/Drawing Bar"},
    {136, "&View/Playback Bar"},
    {186, "&View/Advisor Bar"},
    {0, "&View/-"},
    {32781, "&View/Status Messages\tF4"},
    {32956, "&View/Show Quick Alerts"},
};

const Entry kViewChart[] = {
    {0, "&View/-"},
    {33259, "&View/Time Span/5 Seconds"},
    {33261, "&View/Time Span/15 Seconds"},
    {33262, "&View/Time Span/30 Seconds"},
    {32891, "&View/Time Span/1 Minute\t1"},
    {32892, "&View/Time Span/2 Minutes\t2"},
    {32900, "&View/Time Span/3 Minutes\t3"},
    {32962, "&View/Time Span/4 Minutes\t4"},
    {32893, "&View/Time Span/5 Minutes\t5"},
    {32963, "&View/Time Span/10 Minutes\t6"},
    {32894, "&View/Time Span/15 Minutes\t7"},
    {32895, "&View/Time Span/30 Minutes\t8"},
    {32896, "&View/Time Span/60 Minutes\t9"},
    {32897, "&View/Time Span/1 Day\t0"},
    {32898, "&View/Time Span/1 Week"},
    {32899, "&View/Time Span/1 Month"},
    {0, "&View/Time Span/-"},
    {33121, "&View/Time Span/Tick"},
    {33147, "&View/Time Span/Volume"},
    {33137, "&View/Time Span/Available View Units/1\t1"},
    {33138, "&View/Time Span/Available View Units/2\t2"},
    {33139, "&View/Time Span/Available View Units/3\t3"},
    {33140, "&View/Time Span/Available View Units/4\t4"},
    {33141, "&View/Time Span/Available View Units/5\t5"},
    {33142, "&View/Time Span/Available View Units/10\t6"},
    {33143, "&View/Time Span/Available View Units/20\t7"},
    {33144, "&View/Time Span/Available View Units/25\t8"},
    {33145, "&View/Time Span/Available View Units/50\t9"},
    {33146, "&View/Time Span/Available View Units/100\t0"},
    {33310, "&View/Chart Type/Candlestick\tShift+D"},
    {33318, "&View/Chart Type/Solid Candlestick\tShift+D"},
    {33311, "&View/Chart Type/OHLC\tShift+D"},
    {33312, "&View/Chart Type/HLC\tShift+D"},
    {33319, "&View/Chart Type/Close\tShift+D"},
    {33313, "&View/Chart Type/Line\tShift+D"},
    {33320, "&View/Chart Type/Line with Close\tShift+D"},
    {33321, "&View/Chart Type/Stairstep Line\tShift+D"},
    {33322, "&View/Chart Type/Stairstep Line with Close\tShift+D"},
    {33314, "&View/Chart Type/VWap Candles\tShift+D"},
    {33315, "&View/Chart Type/Heikin-Ashi Candles\tShift+D"},
    {32861, "&View/Candle Size/Small Candles\tShift+S"},
    {32862, "&View/Candle Size/Medium Candles\tShift+M"},
    {32863, "&View/Candle Size/Large Candles\tShift+L"},
    {33000, "&View/Candle Size/Custom Candle\tShift+C"},
    {32854, "&View/Customize Chart Layout/Hide Price Studies"},
    {33184, "&View/Customize Chart Layout/Hide Price"},
    {33182, "&View/Customize Chart Layout/Hide Both Scale"},
    {33183, "&View/Customize Chart Layout/Hide Secondary Scale"},
    {33186, "&View/Customize Chart Layout/Hide Title"},
    {33150, "&View/Customize Chart Layout/Hide Time Legend"},
    {33188, "&View/Customize Chart Layout/Hide Volume"},
    {33190, "&View/Customize Chart Layout/Hide Volume Studies"},
    {33248, "&View/Customize Chart Layout/Hide Annotations"},
    {0, "&View/-"},
    {32771, "&View/Top Pane"},
    {32773, "&View/Middle Pane"},
    {32772, "&View/Bottom Pane"},
    {33120, "&View/Equity"},
    {0, "&View/-"},
    {32922, "&View/Show Trading Zones"},
    {33252, "&View/Show Bid/Ask Bar"},
    {33303, "&View/Show Events"},
    {32847, "&View/Scale Price Only\tShift+Z"},
    {32851, "&View/Scale Most Recent Price\tShift+X"},
};

const Entry kFavorites[] = {
    {32834, "&Favorites/More..."},
};

const Entry kDataApp[] = {
    {32776, "&Data/Auto Update On"},        {32859, "&Data/Get Single Quote"},
    {32858, "&Data/Get Continuous Quotes"}, {0, "&Data/-"},
    {32813, "&Data/Internet Sources..."},   {32846, "&Data/Import Settings..."},
    {33002, "&Data/&Export Settings..."},
};

const Entry kDataChart[] = {
    {32779, "&Data/Update"},
    {32814, "&Data/Reload"},
    {33266, "&Data/Update from Intraday Data"},
    {32915, "&Data/Purge/Today's Intraday Data"},
    {32916, "&Data/Purge/Prior Day's Intraday Data"},
    {32917, "&Data/Purge/All Data"},
    {0, "&Data/-"},
};

const Entry kStudies[] = {
    {32812, "&Studies/Selected Studies..."},
    {0, "&Studies/-"},
    {32783, "&Studies/Moving Average..."},
    {32789, "&Studies/Bollinger Band..."},
    {32808, "&Studies/MACD..."},
    {32810, "&Studies/Stochastics..."},
    {32815, "&Studies/RSI..."},
    {33109, "&Studies/CCI..."},
    {32901, "&Studies/VHF..."},
    {32905, "&Studies/Volume..."},
    {32880, "&Studies/Indicators Lines.."},
    {32816, "&Studies/Accum. Distrib. Line..."},
    {32817, "&Studies/Chaikin Oscillator..."},
    {33125, "&Studies/External Studies..."},
    {0, "&Studies/-"},
    {32879, "&Studies/Indicators/Previous Day's Close"},
    {33196, "&Studies/Indicators/Previous Day's High"},
    {33197, "&Studies/Indicators/Previous Day's Low"},
    {32883, "&Studies/Indicators/Day's Open"},
    {32878, "&Studies/Indicators/Day's High"},
    {32877, "&Studies/Indicators/Day's Low"},
    {32882, "&Studies/Indicators/Day's Midpoint"},
    {32881, "&Studies/Indicators/Day's VWAP"},
    {33191, "&Studies/Indicators/Floor Trader Pivot"},
    {33192, "&Studies/Indicators/Floor Trader Support1"},
    {33193, "&Studies/Indicators/Floor Trader Support 2"},
    {33194, "&Studies/Indicators/Floor Trader Resistance 1"},
    {33195, "&Studies/Indicators/Floor Trader Resistance 2"},
    {32921, "&Studies/Add All Indicators"},
    {32919, "&Studies/Delete All Indicators"},
};

const Entry kChartApp[] = {
    {32833, "Chart/Default"},
    {33325, "Chart/Spread Chart Setup..."},
};

const Entry kChart[] = {
    {0, "Chart/-"},
    {32784, "Chart/Properties..."},
    {32786, "Chart/Color..."},
    {33251, "Chart/Info..."},
    {32819, "Chart/Add to Favorites..."},
    {33333, "Chart/Apply Favorite..."},
    {32860, "Chart/Slide Show"},
    {33020, "Chart/Show Extended Sessions"},
    {33212, "Chart/Align Data Points/First Common Price Pt"},
    {33211, "Chart/Align Data Points/First Visible Price Pt in Window"},
    {33208, "Chart/Align Data Points/Previous Close"},
    {33209, "Chart/Align Data Points/Day's Open"},
    {33324, "Chart/Align Data Points/Custom..."},
};

// The symbol map's own menu: its commands are enabled in a map window only.
const Entry kSlfMap[] = {
    {32989, "SLFMap/Sort"},
    {32871, "SLFMap/Sort By/Symbol Name"},
    {32924, "SLFMap/Sort By/Last Price"},
    {32872, "SLFMap/Sort By/% Chg from Prev Close"},
    {32873, "SLFMap/Sort By/Price Chg from Prev Close"},
    {32886, "SLFMap/Sort By/% Chg from Open"},
    {32888, "SLFMap/Sort By/Price Chg from Open"},
    {33014, "SLFMap/Sort By/% Chg from Close"},
    {33015, "SLFMap/Sort By/Price Chg from Close"},
    {32903, "SLFMap/Sort By/Show % Gap Up\\/Down"},
    {32904, "SLFMap/Sort By/Show $ Gap Up\\/Down"},
    {32965, "SLFMap/Sort By/% Chg from Mark"},
    {32966, "SLFMap/Sort By/Price Chg from Mark"},
    {33119, "SLFMap/Sort By/Show average daily price range"},
    {0, "SLFMap/-"},
    {32909, "SLFMap/Show MiniCharts"},
    {32964, "SLFMap/Set Mark/Now"},
    {32971, "SLFMap/Set Mark/Candle"},
    {32955, "SLFMap/Constrain Rows\\/Columns..."},
};

const Entry kDraw[] = {
    {33231, "Draw/None"},
    {0, "Draw/-"},
    {33230, "Draw/Horizontal Line"},
    {33229, "Draw/Vertical Line"},
    {33234, "Draw/2 Point Infinite Line"},
    {33233, "Draw/2 Point Finite Line"},
    {33232, "Draw/Ray"},
    {33240, "Draw/Fibonacci Line"},
    {33236, "Draw/Channel Lines"},
    {33247, "Draw/Parallel Line"},
    {0, "Draw/-"},
    {33269, "Draw/Snap Line Off"},
    {33270, "Draw/Snap Line to Price"},
    {33271, "Draw/Snap Line to Mintick"},
};

const Entry kTradingApp[] = {
    {33155, "Trading/Real Trading..."},
    {33177, "Trading/Paper Trading..."},
    {33162, "Trading/Manage Accounts..."},
    {33222, "Trading/Refresh Portfolio"},
};

const Entry kTradingChart[] = {
    {0, "Trading/-"},
    {33216, "Trading/Order Setup..."},
    {33213, "Trading/Show Graphical Trading"},
};

const Entry kTools[] = {
    {33165, "&Tools/Select Strategy..."},
    {33254, "&Tools/Playback Setup..."},
};

const Entry kWindow[] = {
    {32835, "&Window/Close All"},
};

const Entry kHelp[] = {
    {57666, "&Help/&Contents"},
    {33289, "&Help/View ReadMe File..."},
    {0, "&Help/-"},
    {57664, "&Help/&About Korvane..."},
};

const Entry kChartPopup[] = {
    {32771, "Popup/Top Pane"},
    {32773, "Popup/Middle Pane"},
    {32772, "Popup/Bottom Pane"},
    {0, "Popup/-"},
    {32891, "Popup/Time Span/1 Minute\t1"},
    {32893, "Popup/Time Span/5 Minutes\t5"},
    {32894, "Popup/Time Span/15 Minutes\t7"},
    {32896, "Popup/Time Span/60 Minutes\t9"},
    {32897, "Popup/Time Span/1 Day\t0"},
    {32898, "Popup/Time Span/1 Week"},
    {32899, "Popup/Time Span/1 Month"},
    {33121, "Popup/Time Span/Tick"},
    {33147, "Popup/Time Span/Volume"},
    {32861, "Popup/Candle Size/Small Candles\tShift+S"},
    {32862, "Popup/Candle Size/Medium Candles\tShift+M"},
    {32863, "Popup/Candle Size/Large Candles\tShift+L"},
    {33000, "Popup/Candle Size/Custom Candle\tShift+C"},
    {0, "Popup/-"},
    {33231, "Popup/Draw/None"},
    {33230, "Popup/Draw/Horizontal Line"},
    {33229, "Popup/Draw/Vertical Line"},
    {33234, "Popup/Draw/2 Point Infinite Line"},
    {33233, "Popup/Draw/2 Point Finite Line"},
    {33232, "Popup/Draw/Ray"},
    {33240, "Popup/Draw/Fibonacci Line"},
    {33236, "Popup/Draw/Channel Lines"},
    {33269, "Popup/Draw/Snap Line Off"},
    {33270, "Popup/Draw/Snap Line to Price"},
    {33271, "Popup/Draw/Snap Line to Mintick"},
    {33008, "Popup/Erase All Lines"},
    {0, "Popup/-"},
    {33263, "Popup/Select Scale Point"},
    {33265, "Popup/Clear Scale Point"},
    {33017, "Popup/Delete Spike"},
    {0, "Popup/-"},
    {32819, "Popup/Add to Favorites..."},
    {32858, "Popup/Get Continuous Quotes"},
    {32956, "Popup/Show Quick Alerts"},
    {33020, "Popup/Show Extended Sessions"},
    {32860, "Popup/Slide Show"},
    {32915, "Popup/Purge/Today's Intraday Data"},
    {32916, "Popup/Purge/Prior Day's Intraday Data"},
};

// The market list windows' pop-ups.
const Entry kTimeSalesPopup[] = {
    {33021, "Popup/Time"},
    {33022, "Popup/Size"},
    {33023, "Popup/Last"},
    {33035, "Popup/Indicator"},
    {33108, "Popup/Refresh"},
    {33112, "Popup/Precision/0 digits"},
    {33118, "Popup/Precision/1 digit"},
    {33113, "Popup/Precision/2 digits"},
    {33114, "Popup/Precision/3 digits"},
    {33115, "Popup/Precision/4 digits"},
    {33116, "Popup/Precision/5 digits"},
    {33117, "Popup/Precision/6 digits"},
    {33200, "Popup/Precision/32nds"},
    {33199, "Popup/Precision/Frac 32nds"},
};

const Entry kQuotesPopup[] = {
    {33056, "Popup/Columns/Bid"},
    {33042, "Popup/Columns/Ask"},
    {33043, "Popup/Columns/Last"},
    {33044, "Popup/Columns/Change"},
    {33045, "Popup/Columns/Tick"},
    {33046, "Popup/Columns/Volume"},
    {33047, "Popup/Columns/Day's Low"},
    {33048, "Popup/Columns/Day's High"},
    {33049, "Popup/Columns/Previous Close"},
    {33057, "Popup/Columns/Time"},
    {33058, "Popup/Columns/Day Open"},
    {0, "Popup/Columns/-"},
    {33051, "Popup/Columns/Change Open"},
    {33050, "Popup/Columns/% Change"},
    {33054, "Popup/Columns/Gap"},
    {33055, "Popup/Columns/% Gap"},
    {33052, "Popup/Columns/Day Close"},
    {33053, "Popup/Columns/% Close"},
    {0, "Popup/Columns/-"},
    {33059, "Popup/Columns/Dividend Frequency"},
    {33060, "Popup/Columns/Dividend Date"},
    {33061, "Popup/Columns/Dividend Amount"},
    {33063, "Popup/Columns/Year's High Price"},
    {33064, "Popup/Columns/Year's Low Price"},
    {33062, "Popup/Columns/Earnings\\/Share (EPS)"},
    {33066, "Popup/Columns/Historic Volatility"},
    {0, "Popup/Columns/-"},
    {33296, "Popup/Columns/Index Future Premium"},
    {33297, "Popup/Columns/Historic Volatility"},
    {33298, "Popup/Columns/Implied Volatility"},
    {33299, "Popup/Columns/Call Volume"},
    {33300, "Popup/Columns/Call Open Interest"},
    {33301, "Popup/Columns/Put Volume"},
    {33302, "Popup/Columns/Put Open Interest"},
};

const Entry kLevel2Popup[] = {
    {33107, "Popup/Refresh"},
    {33034, "Popup/Show Size in Hundreds"},
    {0, "Popup/-"},
    {33080, "Popup/Columns/Bid Time"},
    {33081, "Popup/Columns/Bid MMID"},
    {33082, "Popup/Columns/Bid MM # Best"},
    {33083, "Popup/Columns/Bid Size"},
    {33084, "Popup/Columns/Bid Last"},
    {0, "Popup/Columns/-"},
    {33085, "Popup/Columns/Ask Time"},
    {33086, "Popup/Columns/Ask MMID"},
    {33087, "Popup/Columns/Ask MM # Best"},
    {33088, "Popup/Columns/Ask Size"},
    {33089, "Popup/Columns/Ask Last"},
};

const Entry kOrderBookPopup[] = {
    {33107, "Popup/Refresh"},
    {33027, "Popup/Include Inside Market"},
    {33034, "Popup/Show Size in Hundreds"},
    {0, "Popup/-"},
    {33080, "Popup/Columns/Bid Time"},
    {33081, "Popup/Columns/Bid MMID"},
    {33083, "Popup/Columns/Bid Size"},
    {33084, "Popup/Columns/Bid Last"},
    {0, "Popup/Columns/-"},
    {33085, "Popup/Columns/Ask Time"},
    {33086, "Popup/Columns/Ask MMID"},
    {33088, "Popup/Columns/Ask Size"},
    {33089, "Popup/Columns/Ask Last"},
};

const Entry kPulsePopup[] = {
    {33103, "Popup/Update"},
    {0, "Popup/-"},
    {33105, "Popup/Settings..."},
    {33043, "Popup/Columns/Last"},
    {33044, "Popup/Columns/Change"},
    {33050, "Popup/Columns/% Change"},
    {33054, "Popup/Columns/Gap"},
    {33055, "Popup/Columns/% Gap"},
    {33046, "Popup/Columns/Volume"},
    {33100, "Popup/Columns/Previous Volume"},
    {33101, "Popup/Columns/% Previous Volume"},
    {33048, "Popup/Columns/Day's High"},
    {33047, "Popup/Columns/Day's Low"},
    {33063, "Popup/Columns/Year's High Price"},
    {33064, "Popup/Columns/Year's Low Price"},
    {33057, "Popup/Columns/Time"},
};

const Entry kOrderPopup[] = {
    {33332, "Popup/OCA Name"},        {0, "Popup/-"},
    {33245, "Popup/Remove Order"},    {33267, "Popup/Remove All Cancelled"},
    {33323, "Popup/Attach Study..."},
};

// Appends entries to a menu table, opening and closing submenus as the
// paths change.
class Builder {
 public:
  template <size_t N>
  Builder& add(const Entry (&entries)[N]) {
    for (const Entry& e : entries) add_one(e);
    return *this;
  }
  // An empty top-level menu (filled at run time).
  Builder& empty(const char* title) {
    close_to(0);
    m_items.push_back({KV_MENU_POPUP, keep(title)});
    m_items.push_back({KV_MENU_END, nullptr});
    return *this;
  }
  std::vector<KvMenuItem> done() {
    close_to(0);
    return m_items;
  }

 private:
  void add_one(const Entry& e) {
    // "\\/" is a slash of the text itself ("Rows\\/Columns...").
    QStringList parts;
    QString part;
    for (const char* c = e.path; *c; c++) {
      if (c[0] == '\\' && c[1] == '/') {
        part += QLatin1Char('/');
        c++;
      } else if (*c == '/') {
        parts << part;
        part.clear();
      } else {
        part += QLatin1Char(*c);
      }
    }
    parts << part;
    QString leaf = parts.takeLast();
    int common = 0;
    while (common < int(m_open.size()) && common < parts.size() &&
           m_open[size_t(common)] == parts[common])
      common++;
    close_to(common);
    for (int i = common; i < parts.size(); i++) {
      m_items.push_back({KV_MENU_POPUP, keep(parts[i].toLatin1().constData())});
      m_open.push_back(parts[i]);
    }
    if (leaf == QLatin1String("-"))
      m_items.push_back({0, nullptr});
    else
      m_items.push_back({e.id, keep(leaf.toLatin1().constData())});
  }
  void close_to(int depth) {
    while (int(m_open.size()) > depth) {
      m_items.push_back({KV_MENU_END, nullptr});
      m_open.pop_back();
    }
  }
  // Menu texts live as long as the program.
  static const char* keep(const char* s) {
    static std::deque<std::string>* store = new std::deque<std::string>;  // never moves its strings
    for (const std::string& k : *store)
      if (k == s) return k.c_str();
    store->push_back(s);
    return store->back().c_str();
  }
  std::vector<KvMenuItem> m_items;
  std::vector<QString> m_open;
};

}  // namespace

std::vector<KvMenuItem> kv_res_menu(int id) {
  Builder b;
  switch (id) {
    case IDR_MAINFRAME:
      return b.add(kFile)
          .add(kEdit)
          .add(kViewBars)
          .empty("&Favorites")
          .add(kDataApp)
          .add(kChartApp)
          .add(kTradingApp)
          .add(kWindow)
          .add(kHelp)
          .done();
    case IDR_CHART:
      return b.add(kFile)
          .add(kEdit)
          .add(kViewBars)
          .add(kViewChart)
          .add(kFavorites)
          .add(kDataChart)
          .add(kDataApp)
          .add(kStudies)
          .add(kChartApp)
          .add(kChart)
          .add(kSlfMap)
          .add(kDraw)
          .add(kTradingApp)
          .add(kTradingChart)
          .add(kTools)
          .add(kWindow)
          .add(kHelp)
          .done();
    case IDR_CHART_POPUP:
      return b.add(kChartPopup).done();
    case IDR_ORDER_POPUP:
      return b.add(kOrderPopup).done();
    case IDR_TIME_SALES_POPUP:
      return b.add(kTimeSalesPopup).done();
    case IDR_QUOTES_POPUP:
      return b.add(kQuotesPopup).done();
    case IDR_LEVEL2_POPUP:
      return b.add(kLevel2Popup).done();
    case IDR_ORDER_BOOK_POPUP:
      return b.add(kOrderBookPopup).done();
    case IDR_MARKET_PULSE_POPUP:
      return b.add(kPulsePopup).done();
    default:
      return {};
  }
}

std::vector<KvAccel> kv_res_accelerators() {
  return {
      {"Ctrl+N", 57600},  {"Ctrl+O", 57601},  {"Ctrl+P", 57607},      {"Alt+X", 33001},
      {"F4", 32781},      {"Shift+D", 33316}, {"Shift+V", 33317},     {"Shift+S", 32861},
      {"Shift+M", 32862}, {"Shift+L", 32863}, {"Shift+C", 33000},     {"Shift+Z", 32847},
      {"Shift+X", 32851}, {"Shift+E", 33010}, {"Shift+1", 32897},     {"Shift+2", 33326},
      {"Shift+3", 33330}, {"Shift+4", 33331}, {"Shift+5", 33327},     {"Shift+7", 33328},
      {"Shift+8", 33329}, {"Alt+6", 32979},   {"Alt+1", 32980},       {"Alt+2", 32981},
      {"Alt+3", 32982},   {"Alt+7", 32983},   {"Ctrl+B", 33218},      {"Ctrl+S", 33219},
      {"Ctrl+C", 33220},  {"Ctrl+R", 33221},  {"Ctrl+Delete", 33217}, {"F2", 33223},
      {"F3", 33226},      {"Home", 32840},    {"PgUp", 32841},        {"PgDown", 32842},
      {"End", 32843},
  };
}
