// CChartFavoritesDlg: the "Chart Favorites" dialog over the chart store's
// favourites: mark favourites deleted, choose the default one, or pick one
// to open ("Create Chart"). The marks are the favourites' state bits
// (DESC_MARK_DELETE, DESC_DEFAULT); Cancel puts back the state each had
// when the dialog opened. The caller acts on the marks after OK.
#pragma once

#include <vector>

#include "platform/qt/dialog.h"
#include "shell/core/pagefile.h"

enum : int {
  IDD_CHART_FAVORITES = 155,
  IDC_FAV_LIST = 1148,
  IDC_FAV_DEFAULT = 1149,
  IDC_FAV_DELETE = 1085,
  IDC_FAV_CREATE = 1153,
};

class CChartFavoritesDlg : public KvDialog {
 public:
  // pick_only: the dialog only chooses a favourite (OK is disabled).
  explicit CChartFavoritesDlg(bool pick_only = false, QWidget* parent = nullptr);

  // The favourite chosen with "Create Chart", or null.
  const WindowDescriptor* Chosen() const { return m_chosen; }

  // Runs the dialog for the application's Favorites commands: true on OK.
  static bool Run(const WindowDescriptor** chosen);

 protected:
  bool OnInitDialog() override;
  void OnCancel() override;

 private:
  void fill();
  FavoriteRecord* selected() const;
  void on_select();
  void on_delete();
  void on_default();
  void on_create();

  bool m_pick_only;
  std::vector<FavoriteRecord*> m_shown;
  std::vector<std::pair<FavoriteRecord*, uint8_t>> m_saved;
  const WindowDescriptor* m_chosen = nullptr;
};
