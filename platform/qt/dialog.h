// Dialogs whose controls carry numeric ids.
//
// A dialog creates its controls with AddControl(id, widget); the id is kept
// in the widget's object name ("id1234"), so code and tests find a control
// by its number (GetDlgItem). Buttons with the ids IDOK (1) and IDCANCEL
// (2) run OnOK and OnCancel; the Help button (1139) shows the help page of
// the dialog's resource number. A dialog runs modally (DoModal) or
// modeless (Create). Qt's layouts place the controls.
//
// Data exchange (DoDataExchange with the DDX_ and DDV_ helpers) copies
// values between members and controls. A bad entry shows the system's
// message ("Please enter an integer." ...), puts the focus on the control
// and stops the exchange: UpdateData returns false and OnOK keeps the
// dialog open.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "platform/qt/cmdtarget.h"
#include "platform/qt/wnd.h"
#include "platform/services.h"

enum : int { IDHELP_BUTTON = 1139 };

QString kv_control_name(int id);
// The control with an id inside root, or null.
QWidget* kv_find_control(const QWidget* root, int id);
int kv_control_id(const QWidget* w);

class KvDataExchange;

// Controls with numeric ids inside one widget (a dialog, a property page, a
// form view): finding them, radio groups and the data exchange.
class KvControlHost {
 public:
  virtual ~KvControlHost() = default;

  QWidget* GetDlgItem(int id) const { return kv_find_control(host_widget(), id); }
  template <class W>
  W* Item(int id) const {
    return qobject_cast<W*>(GetDlgItem(id));
  }
  // Radio buttons that form one group, in group order (DDX_Radio index 0
  // is the first).
  void AddRadioGroup(const std::vector<int>& ids);
  const std::vector<int>* RadioGroup(int first_id) const;

  void SetDlgItemText(int id, const QString& text);
  QString GetDlgItemText(int id) const;
  void EnableDlgItem(int id, bool enable);

  // Copies members to controls (false) or controls to members with their
  // checks (true); false when an entry was refused.
  bool UpdateData(bool save_and_validate = true);

 protected:
  virtual QWidget* host_widget() const = 0;
  virtual void DoDataExchange(KvDataExchange& dx) {}
  // Gives w its id (object name) and makes it a child of the host.
  void register_control(int id, QWidget* w);

 private:
  std::vector<std::vector<int>> m_radio_groups;
};

class KvDialog : public QDialog, public KvWnd, public KvCmdTarget, public KvControlHost {
 public:
  explicit KvDialog(unsigned resource_id, QWidget* parent = nullptr);

  unsigned GetResourceId() const { return m_resource_id; }

  // Modal run; returns the EndDialog code (IDOK, IDCANCEL, ...).
  int DoModal();
  // Modeless: builds and shows the dialog; true on success.
  bool Create(QWidget* parent = nullptr);
  void EndDialog(int code);

  // Makes w a control of the dialog with an id. Push buttons route their
  // clicks: IDOK to OnOK, IDCANCEL to OnCancel, the Help button to OnHelp,
  // other ids to the dialog's command table.
  template <class W>
  W* AddControl(int id, W* w) {
    add_control(id, w);
    return w;
  }

  // false until the dialog was built (OnInitDialog ran).
  bool initialized() const { return m_initialized; }
  // Builds the dialog once (OnInitDialog) before its first show.
  void EnsureInitialized();

 protected:
  QWidget* host_widget() const override { return const_cast<KvDialog*>(this); }
  // Called once before the dialog shows; the default fills the controls
  // from the members (UpdateData(false)).
  virtual bool OnInitDialog();
  // The default takes the controls' values and ends with IDOK when they
  // are valid.
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnHelp();

  void showEvent(QShowEvent* e) override;
  void reject() override;  // Escape and the close box: OnCancel
  void accept() override;  // default-button Enter: OnOK

 private:
  void add_control(int id, QWidget* w);
  unsigned m_resource_id;
  bool m_initialized = false;
};

// ---- data exchange -------------------------------------------------------------

class KvDataExchange {
 public:
  KvDataExchange(KvControlHost* host, bool save) : m_host(host), m_save(save) {}
  bool save() const { return m_save; }
  bool failed() const { return m_failed; }
  KvControlHost* host() const { return m_host; }
  // The control of the last DDX call (the DDV that follows refers to it).
  QWidget* PrepareControl(int id);
  // Shows the message, focuses the last control, stops the exchange.
  void Fail(const QString& message);

 private:
  KvControlHost* m_host;
  bool m_save;
  bool m_failed = false;
  QWidget* m_last = nullptr;
};

// Texts of edits, static texts, combo boxes' edit fields and buttons.
void DDX_Text(KvDataExchange& dx, int id, QString& value);
void DDX_Text(KvDataExchange& dx, int id, std::string& value);
void DDX_Text(KvDataExchange& dx, int id, char* buf, size_t size);
// Whole numbers: blanks around, an optional sign and digits; anything else
// is refused with "Please enter an integer.".
void DDX_Text(KvDataExchange& dx, int id, int& value);
// Decimal numbers; a bad one is refused with "Please enter a number.".
void DDX_Text(KvDataExchange& dx, int id, double& value);
void DDX_Text(KvDataExchange& dx, int id, float& value);
// "Please enter an integer between %1 and %2."
void DDV_MinMaxInt(KvDataExchange& dx, int value, int min, int max);
// "Please enter a number between %1 and %2."
void DDV_MinMaxDouble(KvDataExchange& dx, double value, double min, double max);
// "Please enter no more than %1 characters."
void DDV_MaxChars(KvDataExchange& dx, const QString& value, int max);
// 0 clear, 1 checked, 2 indeterminate.
void DDX_Check(KvDataExchange& dx, int id, int& value);
// Index of the checked radio of the group that starts at first_id, -1 none.
void DDX_Radio(KvDataExchange& dx, int first_id, int& value);
// Selected index of a combo box or list box, -1 none.
void DDX_CBIndex(KvDataExchange& dx, int id, int& value);
void DDX_LBIndex(KvDataExchange& dx, int id, int& value);
// Slider position.
void DDX_Slider(KvDataExchange& dx, int id, int& value);

// Parses a whole number as the exchange does; false when it is not one.
bool kv_parse_int(const QString& text, int* value);
bool kv_parse_double(const QString& text, double* value);
