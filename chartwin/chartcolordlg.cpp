// The Chart Color Setup dialog.
#include "chartwin/chartcolordlg.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/chartsettings.h"
#include "data/dates.h"
#include "platform/qt/color.h"
#include "platform/qt/controls.h"
#include "settings/settings.h"

namespace {

// The settings field of each list item, in list order.
uint32_t* color_field(ChartSettings& s, int i) {
  uint32_t* fields[CChartColorDlg::kItemCount] = {
      &s.bg_color,        &s.up_color,        &s.down_color,         &s.outline_color,
      &s.wick_color,      &s.up_volume_color, &s.down_volume_color,  &s.oi_color,
      &s.grid_color,      &s.daybreak_color,  &s.text_color,         &s.axis_color,
      &s.alert_colors[0], &s.alert_colors[1], &s.position_colors[0], &s.position_colors[1],
      &s.bidask_color,    &s.last_mark_color, &s.events_bg_color,    &s.event_mark_color};
  return fields[i];
}

bool run_color_dialog(uint32_t* color) {
  for (int i = 0; i < 16; i++)
    QColorDialog::setCustomColor(i, kv_qcolor(g_settings.CustomColors[i]));
  QColor c = QColorDialog::getColor(kv_qcolor(*color), nullptr, QStringLiteral("Color"));
  // The custom colours are kept for the next use.
  for (int i = 0; i < 16; i++)
    g_settings.CustomColors[i] = kv_colorref(QColorDialog::customColor(i));
  if (!c.isValid()) return false;
  *color = kv_colorref(c);
  return true;
}

}  // namespace

std::function<bool(uint32_t*)> CChartColorDlg::s_choose_color = run_color_dialog;

const char* const CChartColorDlg::kItemNames[kItemCount] = {"BackGround",
                                                            "Up Candle",
                                                            "Down Candle",
                                                            "Candle Outline",
                                                            "Candle Wick",
                                                            "Up Volume",
                                                            "Down Volume",
                                                            "Open Interest",
                                                            "GridLine",
                                                            "Day Divider",
                                                            "Label",
                                                            "Axis",
                                                            "High Alert Line",
                                                            "Low Alert Line",
                                                            "Long Avg Cost Position Line",
                                                            "Short Avg Cost Position Line",
                                                            "Bid/Ask Bar",
                                                            "Bid/Ask Last Bar",
                                                            "Events Background",
                                                            "Event Items"};

CChartColorDlg::CChartColorDlg(ChartSettings* settings, QWidget* parent)
    : KvDialog(IDD_CHART_COLOR, parent), m_settings(settings) {
  setWindowTitle(QStringLiteral("Chart Color Setup"));
  auto* top = new QVBoxLayout(this);
  top->addWidget(AddControl(IDC_COLOR_NAME, new QLabel(QStringLiteral("Fav:Company Name"), this)));
  auto* grid = new QGridLayout;
  m_list = AddControl(IDC_COLOR_LIST, new KvListBox(false, this));
  grid->addWidget(m_list, 0, 0, 3, 1);
  m_preview = AddControl(IDC_COLOR_PREVIEW, new QFrame(this));
  m_preview->setFrameShape(QFrame::Box);
  m_preview->setMinimumSize(60, 40);
  m_preview->setAutoFillBackground(true);
  grid->addWidget(m_preview, 0, 1);
  auto* pick = AddControl(IDC_COLOR_PICK, new QPushButton(QStringLiteral("Color..."), this));
  pick->setIcon(QIcon::fromTheme(QStringLiteral("color-select")));
  grid->addWidget(pick, 1, 1);
  grid->addWidget(
      AddControl(IDC_COLOR_DEFAULTS, new QPushButton(QStringLiteral("Set Defaults"), this)), 2, 1);
  top->addLayout(grid);
  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this));
  ok->setDefault(true);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this)),
                     QDialogButtonBox::RejectRole);
  buttons->addButton(AddControl(IDHELP_BUTTON, new QPushButton(QStringLiteral("&Help"), this)),
                     QDialogButtonBox::HelpRole);
  top->addWidget(buttons);
  connect(pick, &QPushButton::clicked, this, [this] { this->pick(); });
  connect(Item<QPushButton>(IDC_COLOR_DEFAULTS), &QPushButton::clicked, this,
          [this] { set_defaults(); });
  connect(m_list, &QListWidget::currentRowChanged, this, [this] { show_preview(); });
  connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { this->pick(); });
}

uint32_t CChartColorDlg::ItemColor(int index) const {
  return (uint32_t)m_list->GetItemData(index);
}

void CChartColorDlg::fill(const ChartSettings& s) {
  ChartSettings copy = s;
  int sel = m_list->GetCurSel();
  m_list->ResetContent();
  for (int i = 0; i < kItemCount; i++)
    m_list->SetItemData(m_list->AddString(QString::fromLatin1(kItemNames[i])),
                        *color_field(copy, i));
  m_list->SetCurSel(sel < 0 ? 0 : sel);
  show_preview();
}

bool CChartColorDlg::OnInitDialog() {
  char name[64];
  chart_settings_text(m_settings->favorite_name, sizeof m_settings->favorite_name, name);
  if (name[0]) SetDlgItemText(IDC_COLOR_NAME, QString::fromLatin1(name));
  fill(*m_settings);
  return true;
}

void CChartColorDlg::show_preview() {
  int sel = m_list->GetCurSel();
  if (sel < 0) return;
  QPalette pal = m_preview->palette();
  pal.setColor(QPalette::Window, kv_qcolor(ItemColor(sel)));
  m_preview->setPalette(pal);
}

void CChartColorDlg::pick() {
  int sel = m_list->GetCurSel();
  if (sel < 0) return;
  uint32_t c = ItemColor(sel);
  if (!s_choose_color || !s_choose_color(&c)) return;
  m_list->SetItemData(sel, c);
  // A black or white background turns the items of the same colour to the
  // opposite one, so nothing drawn vanishes into it.
  if (sel == 0 && (c == 0 || c == 0xFFFFFF)) {
    for (int i = 1; i <= 17; i++)
      if (ItemColor(i) == c) m_list->SetItemData(i, c ^ 0xFFFFFF);
  }
  show_preview();
}

void CChartColorDlg::set_defaults() {
  ChartSettings d{};
  default_chart_settings(&d, today_date(1));
  fill(d);
}

void CChartColorDlg::OnOK() {
  for (int i = 0; i < kItemCount; i++) *color_field(*m_settings, i) = ItemColor(i);
  m_settings->text_color2 = m_settings->text_color;  // "Label" sets both label colours
  EndDialog(IDOK);
}
