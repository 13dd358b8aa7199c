#include "studies/pages/ppcommon.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <cstring>

#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/qt/dialog.h"
#include "platform/qt/services_qt.h"
#include "studies/study.h"

uint32_t (*g_default_study_color_fn)(void) = nullptr;

uint32_t default_study_color(void) {
  return g_default_study_color_fn ? g_default_study_color_fn() : CS_DEFAULT_STUDY_COLOR;
}

// ---- default records -----------------------------------------------------------

StudyDef* CPPCommon::createDefStudy(int type, int pane_group) {
  STUDY_PAGE_TRACE("CPPCommon::createDefStudy()\n");
  StudyDef* s = new StudyDef{};
  setDefStudyValues(s, type, pane_group);
  return s;
}

void CPPCommon::initDefStudy(KvComboBox* combo, int type, int pane_group) {
  STUDY_PAGE_TRACE("CPPCommon::initDefStudy()\n");
  if (!combo || combo->GetCount() < 1) return;
  if (auto* s = reinterpret_cast<StudyDef*>(combo->GetItemData(0)))
    setDefStudyValues(s, type, pane_group);
}

namespace {

struct daily_default {
  int type, style;
  uint32_t color;
  int width;
};

const daily_default kDailyDefaults[] = {
    {STUDY_PREV_CLOSE, 3, 0xFFFF00, 1}, {STUDY_DAY_HIGH, 0, 0x00FF00, 1},
    {STUDY_DAY_MID, 0, 0xFFFF00, 1},    {STUDY_DAY_LOW, 0, 0x0000FF, 1},
    {STUDY_DAY_OPEN, 0, 0xFF00FF, 1},   {STUDY_PIVOT, 2, 0xFFFF00, 1},
    {STUDY_SUPPORT1, 2, 0x0000FF, 1},   {STUDY_SUPPORT2, 7, 0x0000FF, 2},
    {STUDY_RESIST1, 2, 0x00FF00, 1},    {STUDY_RESIST2, 7, 0x00FF00, 2},
    {STUDY_PREV_HIGH, 3, 0x00FF00, 1},  {STUDY_PREV_LOW, 3, 0x0000FF, 1},
    {STUDY_DAY_VWAP, 2, 0x00FFFF, 1},
};

}  // namespace

void CPPCommon::setDefStudyValues(StudyDef* s, int type, int pane_group) {
  STUDY_PAGE_TRACE("CPPCommon::setDefStudyValues()\n");
  if (!s) return;
  s->id = -1;
  s->type = type;
  s->pane_group = (uint32_t)pane_group;
  s->state = STUDY_STATE_DEFAULT;
  s->line_style = 0;
  s->line_width = 1;
  s->color = default_study_color();
  snprintf(s->name, sizeof s->name, "*");
  auto set = [&](int period, int price, double p1, double p2, double p3, int method) {
    s->period = period;
    if (price) s->price_type = price;
    s->p1 = p1;
    s->p2 = p2;
    s->p3 = p3;
    s->method = method;
  };
  switch (type) {
    case STUDY_STOCH_K:
      set(10, 4, 1.0, s->p2, s->p3, s->method);
      break;
    case STUDY_STOCH_D:
      set(10, 4, 1.0, 10.0, s->p3, 0);
      break;
    case STUDY_BB_UPPER:
    case STUDY_BB_PERCENT:
    case STUDY_BB_WIDTH:
      set(20, 4, 1.0, 2.0, s->p3, s->method);
      break;
    case STUDY_BB_MID:
      set(20, 4, 1.0, 0.0, s->p3, s->method);
      break;
    case STUDY_BB_LOWER:
      set(20, 4, 1.0, -2.0, s->p3, s->method);
      break;
    case STUDY_SMA:
    case STUDY_EMA:
    case STUDY_WMA:
    case STUDY_TMA:
    case STUDY_VMA:
    case STUDY_STDDEV:
      set(50, 4, s->p1, 1.0, s->p3, s->method);
      break;
    case STUDY_MACD:
      set(12, 4, s->p1, 26.0, s->p3, s->method);
      break;
    case STUDY_MACD_SIGNAL:
      set(12, 4, s->p1, 26.0, 9.0, s->method);
      break;
    case STUDY_AVG_VOLUME:
      set(20, 0, 0.0, s->p2, s->p3, 0);
      break;
    case STUDY_OBV:
    case STUDY_PVT:
      s->period = 20;
      break;
    case STUDY_REL_VOLUME:
      set(20, 0, 3.0, s->p2, s->p3, 0);
      break;
    case STUDY_INTRADAY_REL_VOLUME:
      set(3, 0, 8.0, s->p2, s->p3, 0);
      break;
    case STUDY_INTRADAY_ACC_VOLUME:
      set(3, 0, 0.0, s->p2, s->p3, 0);
      break;
    case STUDY_NET_VOLUME_RATIO:
    case STUDY_AVG_NET_VOLUME:
      set(10, 0, s->p1, s->p2, s->p3, 0);
      break;
    case STUDY_RSI:
      set(14, 4, s->p1, s->p2, s->p3, s->method);
      break;
    case STUDY_VHF:
      set(28, 4, s->p1, s->p2, s->p3, s->method);
      break;
    case STUDY_CCI:
      set(14, 6, s->p1, s->p2, s->p3, s->method);
      break;
    default:
      for (const daily_default& d : kDailyDefaults)
        if (d.type == type) {
          s->line_style = d.style;
          s->color = d.color;
          s->line_width = d.width;
        }
      break;
  }
}

int CPPCommon::getDefStudyGroup(int type) {
  STUDY_PAGE_TRACE("CPPCommon::getDefStudyGroup()\n");
  switch (type) {
    case STUDY_AVG_VOLUME:
      return 2;
    case STUDY_BB_PERCENT:
    case STUDY_BB_WIDTH:
    case STUDY_MACD:
    case STUDY_MACD_SIGNAL:
    case STUDY_AVG_NET_VOLUME:
    case STUDY_NET_VOLUME:
    case STUDY_VHF:
      return 4;
    case STUDY_STOCH_K:
    case STUDY_STOCH_D:
    case STUDY_STDDEV:
    case STUDY_NET_VOLUME_RATIO:
    case STUDY_RSI:
    case STUDY_CCI:
      return 8;
    case STUDY_OBV:
    case STUDY_PVT:
    case STUDY_REL_VOLUME:
    case STUDY_INTRADAY_REL_VOLUME:
    case STUDY_INTRADAY_ACC_VOLUME:
    case STUDY_AD_LINE:
    case STUDY_CHAIKIN:
      return 16;
    default:
      return 1;
  }
}

StudyDef* CPPCommon::findStudy(StudyDef* list, int type) {
  STUDY_PAGE_TRACE("CPPCommon::findStudy(%d)\n", type);
  for (StudyDef* s = list; s; s = s->next)
    if (s->type == type) return s;
  return nullptr;
}

// ---- combo and list items --------------------------------------------------------

StudyDef* CPPCommon::getStudyPtrCB(KvComboBox* combo) {
  STUDY_PAGE_TRACE("CPPCommon::getStudyPtrCB()\n");
  int i = combo ? combo->GetCurSel() : -1;
  return i < 0 ? nullptr : reinterpret_cast<StudyDef*>(combo->GetItemData(i));
}

StudyDef* CPPCommon::getStudyPtrCB(KvComboBox* combo, int index) {
  STUDY_PAGE_TRACE("CPPCommon::getStudyPtrCB(%d)\n", index);
  if (!combo) return nullptr;
  int sel = combo->GetCurSel();
  if (sel >= 0) return reinterpret_cast<StudyDef*>(combo->GetItemData(sel));
  if (index < 0 || index >= combo->GetCount()) return nullptr;
  // The user typed a name: it becomes the record's name.
  auto* s = reinterpret_cast<StudyDef*>(combo->GetItemData(index));
  if (!s) return nullptr;
  QByteArray typed = combo->GetWindowText().left(64).toUtf8();
  snprintf(s->name, sizeof s->name, "%s", typed.constData());
  QString text = QString::fromUtf8(s->name);
  combo->DeleteString(index);
  combo->InsertString(index, text);
  combo->SetItemData(index, reinterpret_cast<std::uintptr_t>(s));
  combo->SetCurSel(index);
  return s;
}

StudyDef* CPPCommon::getStudyPtrLB(KvListBox* list) {
  STUDY_PAGE_TRACE("CPPCommon::getStudyPtrLB()\n");
  int i = list ? list->GetCurSel() : -1;
  return i < 0 ? nullptr : reinterpret_cast<StudyDef*>(list->GetItemData(i));
}

void CPPCommon::selectStudyCB(KvComboBox* combo, const StudyDef* s) {
  STUDY_PAGE_TRACE("CPPCommon::selectStudyCB()\n");
  if (!combo || !s) return;
  for (int i = 0; i < combo->GetCount(); i++) {
    auto* r = reinterpret_cast<const StudyDef*>(combo->GetItemData(i));
    if (r && r->id == s->id) {
      combo->SetCurSel(i);
      return;
    }
  }
}

QString CPPCommon::makeName(const StudyDef* s) {
  STUDY_PAGE_TRACE("CPPCommon::makeName()\n");
  char buf[160];
  int t = s->type, per = s->period;
  int i1 = (int)s->p1, i2 = (int)s->p2, i3 = (int)s->p3;
  const char* fixed = nullptr;
  switch (t) {
    case STUDY_STOCH_K:
      snprintf(buf, sizeof buf, "*Stochastic %%K(%d,%d)", per, i1);
      break;
    case STUDY_STOCH_D:
      snprintf(buf, sizeof buf, "*Stochastic %%D(%d,%d,%d)", per, i1, i2);
      break;
    case STUDY_BB_UPPER:
      snprintf(buf, sizeof buf, "*Upper Bollinger Band(%d,%.1f)", per, s->p2);
      break;
    case STUDY_BB_MID:
      snprintf(buf, sizeof buf, "*Midline Bollinger Band(%d)", per);
      break;
    case STUDY_BB_LOWER:
      snprintf(buf, sizeof buf, "*Lower Bollinger Band(%d,%.1f)", per, s->p2);
      break;
    case STUDY_BB_PERCENT:
      snprintf(buf, sizeof buf, "*Bollinger Band %%B(%d,%.1f)", per, s->p2);
      break;
    case STUDY_BB_WIDTH:
      snprintf(buf, sizeof buf, "*Bollinger Bandwidth(%d)", per);
      break;
    case STUDY_SMA:
      snprintf(buf, sizeof buf, "*Simple Moving Average(%d)", per);
      break;
    case STUDY_EMA:
      snprintf(buf, sizeof buf, "*Exponential Moving Average(%d)", per);
      break;
    case STUDY_WMA:
      snprintf(buf, sizeof buf, "*Weighted Moving Average(%d)", per);
      break;
    case STUDY_TMA:
      snprintf(buf, sizeof buf, "*Triangular Moving Average(%d)", per);
      break;
    case STUDY_VMA:
      snprintf(buf, sizeof buf, "*Variable Moving Average(%d)", per);
      break;
    case STUDY_STDDEV:
      snprintf(buf, sizeof buf, "*StdDev Moving Average(%d)", per);
      break;
    case STUDY_MACD:
      snprintf(buf, sizeof buf, "*MACD Histogram(%d,%d)", per, i2);
      break;
    case STUDY_MACD_SIGNAL:
      snprintf(buf, sizeof buf, "*MACD Signal Line(%d,%d,%d)", per, i2, i3);
      break;
    case STUDY_AVG_VOLUME:
      snprintf(buf, sizeof buf, "*Avg Volume(%d)", per);
      break;
    case STUDY_OBV:
      snprintf(buf, sizeof buf, "*On Balance Volume(%d)", per);
      break;
    case STUDY_PVT:
      snprintf(buf, sizeof buf, "*Price Volume Trend(%d)", per);
      break;
    case STUDY_REL_VOLUME:
      snprintf(buf, sizeof buf, "*Relative Volume(%d)", per);
      break;
    case STUDY_INTRADAY_REL_VOLUME:
      snprintf(buf, sizeof buf, "*Intraday Relative Volume(%d)", per);
      break;
    case STUDY_INTRADAY_ACC_VOLUME:
      snprintf(buf, sizeof buf, "*Intraday Accum Volume(%d)", per);
      break;
    case STUDY_NET_VOLUME_RATIO:
      snprintf(buf, sizeof buf, "*Avg Net Volume Ratio(%d)", per);
      break;
    case STUDY_AVG_NET_VOLUME:
      snprintf(buf, sizeof buf, "*Avg Net Volume(%d)", per);
      break;
    case STUDY_NET_VOLUME:
      fixed = "*Net Volume()";
      break;
    case STUDY_AD_LINE:
      fixed = "*Accum. Distrib. Line";
      break;
    case STUDY_CHAIKIN:
      fixed = "*Chaikin Oscillator";
      break;
    case STUDY_RSI:
      snprintf(buf, sizeof buf, "*RSI(%d)", per);
      break;
    case STUDY_VHF:
      snprintf(buf, sizeof buf, "*VHF(%d)", per);
      break;
    case STUDY_CCI:
      snprintf(buf, sizeof buf, "*CCI(%d)", per);
      break;
    case STUDY_PREV_CLOSE:
      fixed = "*Previous Day's Close Price";
      break;
    case STUDY_DAY_HIGH:
      fixed = "*Days's High Price";
      break;
    case STUDY_DAY_MID:
      fixed = "*Day's Midpoint Price";
      break;
    case STUDY_DAY_LOW:
      fixed = "*Days's Low Price";
      break;
    case STUDY_DAY_OPEN:
      fixed = "*Days's Open Price";
      break;
    case STUDY_PIVOT:
      fixed = "*Central Pivot Pt";
      break;
    case STUDY_SUPPORT1:
      fixed = "*Support 1";
      break;
    case STUDY_SUPPORT2:
      fixed = "*Support 2";
      break;
    case STUDY_RESIST1:
      fixed = "*Resistance 1";
      break;
    case STUDY_RESIST2:
      fixed = "*Resistance 2";
      break;
    case STUDY_PREV_HIGH:
      fixed = "*Previous Day's High Price";
      break;
    case STUDY_PREV_LOW:
      fixed = "*Previous Day's Low Price";
      break;
    case STUDY_DAY_VWAP:
      fixed = "*Day's VWAP Price";
      break;
    default:
      if (t & 0x80) {
        // The parameters the library shows, as prices.
        std::string params;
        const double p[4] = {s->p1, s->p2, s->p3, s->p4};
        for (int k = 0; k < 4; k++) {
          if (!(s->param_flags & (STUDY_SHOW_P1 << k))) continue;
          char num[64];
          if (k > 0) params += ",";
          params += format_price(p[k], num, 2, 0);
        }
        char name[sizeof s->name];
        snprintf(name, sizeof name, "%.*s", (int)sizeof s->name - 1, s->name);
        if (s->param_flags & STUDY_SHOW_PERIOD)
          snprintf(buf, sizeof buf, "%s(%d%s%s)", name, per, params.empty() ? "" : ",",
                   params.c_str());
        else
          snprintf(buf, sizeof buf, "%s(%s)", name, params.c_str());
      } else {
        fixed = "Unknown Study";
      }
      break;
  }
  return QString::fromUtf8(fixed ? fixed : buf);
}

QString CPPCommon::makeHiddenName(const StudyDef* s, const QString& text) {
  STUDY_PAGE_TRACE("CPPCommon::makeHiddenName()\n");
  return (s->state & STUDY_STATE_HIDDEN) ? QStringLiteral("[HIDDEN]") + text : text;
}

QString CPPCommon::itemText(const StudyDef* s) {
  QString text;
  if (s->name[0] == '*' && !(s->state & STUDY_STATE_DEFAULT))
    text = makeName(s);
  else
    text = QString::fromUtf8(s->name, (int)strnlen(s->name, sizeof s->name));
  return makeHiddenName(s, text);
}

// ---- colour ---------------------------------------------------------------------

static COLORREF g_custom_colors[16];

static uint32_t choose(QWidget* parent, uint32_t initial, StudyDef* s) {
  COLORREF c = initial;
  if (!kv_choose_color(parent, &c, g_custom_colors)) return initial;
  if (s) s->color = c;
  return c;
}

uint32_t CPPCommon::getColorCB(KvComboBox* combo, uint32_t initial, int index, QWidget* parent) {
  STUDY_PAGE_TRACE("CPPCommon::getColorCB()\n");
  COLORREF c = initial;
  if (!kv_choose_color(parent, &c, g_custom_colors)) return initial;
  if (StudyDef* s = getStudyPtrCB(combo, index)) s->color = c;
  return c;
}

uint32_t CPPCommon::getColorLB(KvListBox* list, uint32_t initial, QWidget* parent) {
  STUDY_PAGE_TRACE("CPPCommon::getColorLB()\n");
  return choose(parent, initial, getStudyPtrLB(list));
}

// ---- filling -------------------------------------------------------------------

void CPPCommon::AddToCB(KvComboBox* combo, StudyDef* list) {
  STUDY_PAGE_TRACE("CPPCommon::AddToCB()\n");
  combo->ResetContent();
  for (StudyDef* s = list; s; s = s->next) {
    int i = combo->AddString(itemText(s));
    combo->SetItemData(i, reinterpret_cast<std::uintptr_t>(s));
  }
  combo->SetCurSel(0);
}

void CPPCommon::AddToCB(KvComboBox* combo, StudyDef* list, int reset, int type_mask) {
  STUDY_PAGE_TRACE("CPPCommon::AddToCB()\n");
  if (reset == 1) combo->ResetContent();
  for (StudyDef* s = list; s; s = s->next) {
    if (!(s->type & type_mask)) continue;
    if (s->state & (STUDY_STATE_HIDDEN | STUDY_STATE_DELETED | STUDY_STATE_UNIQUE)) continue;
    int i = combo->AddString(itemText(s));
    combo->SetItemData(i, reinterpret_cast<std::uintptr_t>(s));
  }
  combo->SetCurSel(0);
}

void CPPCommon::AddToLB(KvListBox* lb, StudyDef* list, int reset) {
  STUDY_PAGE_TRACE("CPPCommon::AddToCB()\n");
  if (reset == 1) lb->ResetContent();
  for (StudyDef* s = list; s; s = s->next) {
    int i = lb->AddString(itemText(s));
    lb->SetItemData(i, reinterpret_cast<std::uintptr_t>(s));
  }
  lb->SetCurSel(0);
}

void CPPCommon::AddToCBAS(KvComboBox* combo, StudyDef* list) {
  STUDY_PAGE_TRACE("CPPCommon::AddToCBAS()\n");
  for (StudyDef* s = list; s; s = s->next) {
    if (s->type & 0x800FF00) continue;
    if (s->attached_order) continue;
    if (s->state & (STUDY_STATE_HIDDEN | STUDY_STATE_DELETED | STUDY_STATE_UNIQUE)) continue;
    int i = combo->AddString(itemText(s));
    combo->SetItemData(i, reinterpret_cast<std::uintptr_t>(s));
  }
  combo->SetCurSel(0);
}

// ---- line style and width ----------------------------------------------------

int CPPCommon::normaliseWidth(int style, int width) {
  if (style >= 0 && style <= 4) return 1;
  return width < 2 ? 2 : width;
}

void CPPCommon::styleForWidth(int* style, int* width) {
  if (*width <= 0) {
    *style = 0;
    *width = 1;
  } else if (*width == 1) {
    if (*style >= 5 && *style <= 9) *style -= 5;
  } else if (*style >= 0 && *style <= 4) {
    *style += 5;
  }
}

// A width or period typed as a decimal integer; anything else is 0.
int CPPCommon::textToInt(const QString& text) {
  int v = 0;
  return kv_parse_int(text, &v) ? v : 0;
}

// ---- applying --------------------------------------------------------------------

StudyDef* find_live_study(chart_rec* chart, int id) {
  if (!chart || id <= 0) return nullptr;
  for (StudyDef* s = chart->studies; s; s = s->next)
    if (s->id == id) return s;
  return nullptr;
}

StudyDef* copy_study_record(const StudyDef* s) {
  StudyDef* r = new StudyDef(*s);
  r->next = nullptr;
  r->outputs = nullptr;
  return r;
}

void free_study_records(StudyDef* head) {
  while (head) {
    StudyDef* next = head->next;
    delete head;
    head = next;
  }
}

void CPPCommon::UpdateStudyData(StudyDef* live, const StudyDef* e) {
  STUDY_PAGE_TRACE("CPPCommon::UpdateStudyData()\n");
  live->type = e->type;
  live->line_style = e->line_style;
  live->line_width = e->line_width;
  live->color = e->color;
  live->pane_group = e->pane_group;
  live->id = e->id;
  live->state = e->state;
  memcpy(live->name, e->name, sizeof live->name);
  live->name[sizeof live->name - 1] = 0;
  live->period = e->period;
  live->price_type = e->price_type;
  live->method = e->method;
  live->p1 = e->p1;
  live->p2 = e->p2;
  live->p3 = e->p3;
  live->p4 = e->p4;
}

void CPPCommon::apply_edit(chart_rec* chart, StudyDef* rec) {
  StudyDef* live = find_live_study(chart, rec->id);
  if (!live) return;
  if (live->type == rec->type) {
    UpdateStudyData(live, rec);
    return;
  }
  // Another type needs another compute function and another number of
  // series: the live study is made anew from the record, in its place.
  StudyDef t = *rec;
  t.next = nullptr;
  t.outputs = nullptr;
  t.compute = nullptr;
  t.output_count = 0;
  t.state &= ~(STUDY_STATE_DEFAULT | STUDY_STATE_MODIFIED);
  StudyDef* made = create_study(chart, &t);
  if (!made) {
    // Refused (an equal study exists, no memory): the old study stays as
    // it was, and so does its record, which the base chart is made from.
    UpdateStudyData(rec, live);
    return;
  }
  StudyDef** p = &chart->studies;
  while (*p && *p != made) p = &(*p)->next;
  *p = made->next;  // unlinked from the tail
  made->next = nullptr;
  for (p = &chart->studies; *p; p = &(*p)->next)
    if (*p == live) {
      made->next = live->next;
      *p = made;
      free(live);
      break;
    }
  rec->id = made->id;
}

int CPPCommon::UpdateStudy(KvComboBox* combo, chart_rec* chart, StudyDef** page_list,
                           StudyDef* default_rec) {
  STUDY_PAGE_TRACE("CPPCommon::UpdateStudy()\n");
  StudyDef* rec = getStudyPtrCB(combo);
  if (!rec || !chart) return 0;
  kv_lock guard(g_chart_lock);
  if (rec == default_rec) {
    rec->state &= ~(STUDY_STATE_DEFAULT | STUDY_STATE_UNIQUE | STUDY_STATE_MODIFIED);
    StudyDef* made = create_study(chart, rec);
    if (!made) return 0;
    rec->id = made->id;
    rec->next = nullptr;
    StudyDef** tail = page_list;
    while (*tail) tail = &(*tail)->next;
    *tail = rec;
    return 1;
  }
  // A record deleted on the Selected Studies page, or whose live study is
  // gone, changes nothing.
  if (rec->state & STUDY_STATE_DELETED) return 0;
  if (!find_live_study(chart, rec->id)) return 0;
  apply_edit(chart, rec);
  recalc_studies(chart, 1);
  return 0;
}

void CPPCommon::UpdateStudies(chart_rec* chart, StudyDef** page_list, StudyDef** dropped) {
  STUDY_PAGE_TRACE("CPPCommon::UpdateStudies()\n");
  if (!chart || !page_list) return;
  kv_lock guard(g_chart_lock);
  for (StudyDef* r = *page_list; r; r = r->next) {
    if (!(r->state & STUDY_STATE_MODIFIED)) continue;
    r->state &= ~STUDY_STATE_MODIFIED;
    apply_edit(chart, r);
  }
  auto drop = [&](StudyDef** p) {
    StudyDef* r = *p;
    *p = r->next;
    r->next = *dropped;
    *dropped = r;
  };
  for (StudyDef** p = page_list; *p;) {
    if ((*p)->state & STUDY_STATE_DELETED) {
      if (StudyDef* live = find_live_study(chart, (*p)->id)) delete_study(chart, live);
      drop(p);
    } else {
      p = &(*p)->next;
    }
  }
  if (!chart->studies)
    while (*page_list) drop(page_list);
  recalc_studies(chart, 1);
}

line_attr_box make_line_attr_box(KvDialog* page, const uint32_t* color) {
  line_attr_box b;
  b.box = new QGroupBox(QStringLiteral("Line Attributes"));
  b.form = new QFormLayout(b.box);
  b.width = page->AddControl(1217, new QLineEdit);
  b.width->setMaximumWidth(60);
  b.form->addRow(QStringLiteral("Width:"), b.width);
  auto* color_row = new QHBoxLayout;
  b.sample = page->AddControl(1078, new KvOwnerDrawButton);
  b.sample->setFixedSize(40, 22);
  b.sample->SetDraw([color](KvDC& dc, const KvRect& r) { dc.FillSolidRect(r, *color); });
  color_row->addWidget(b.sample);
  auto* choose = page->AddControl(1022, new QPushButton(QStringLiteral("Color...")));
  choose->setIcon(QIcon::fromTheme(QStringLiteral("color-select")));
  color_row->addWidget(choose);
  color_row->addStretch(1);
  b.form->addRow(QStringLiteral("Color:"), color_row);
  return b;
}
