#include "platform/qt/services_qt.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QUrl>
#include <cstring>

QString kv_qt_filter(const char* filter) {
  if (!filter || !*filter) return QString();
  QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i], pat = parts[i + 1];
    if (desc.isEmpty() && pat.isEmpty()) break;
    QString pats = pat;
    pats.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads the patterns from the parentheses of the description.
    if (desc.contains(QStringLiteral("(%1)").arg(pats)))
      out << desc;
    else
      out << QStringLiteral("%1 (%2)").arg(desc, pats);
  }
  return out.join(QStringLiteral(";;"));
}

namespace {

QWidget* dialog_parent() {
  return QApplication::activeWindow();
}

int qt_message_box(void*, const char* text, const char* caption, unsigned style) {
  QMessageBox box(dialog_parent());
  box.setWindowTitle(QString::fromLatin1(caption && *caption ? caption : "Korvane"));
  box.setText(QString::fromLatin1(text ? text : ""));
  switch (style & MB_ICONMASK) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  struct B {
    QMessageBox::StandardButton b;
    int answer;
  };
  std::vector<B> buttons;
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
      buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{QMessageBox::Abort, IDABORT},
                 {QMessageBox::Retry, IDRETRY},
                 {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {
          {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
      break;
    case MB_RETRYCANCEL:
      buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    default:
      buttons = {{QMessageBox::Ok, IDOK}};
      break;
  }
  QMessageBox::StandardButtons set;
  for (const B& b : buttons) set |= b.b;
  box.setStandardButtons(set);
  size_t def = (style & MB_DEFMASK) >> 8;
  if (def < buttons.size()) box.setDefaultButton(buttons[def].b);
  int r = box.exec();
  for (const B& b : buttons)
    if (r == b.b) return b.answer;
  // Closed with the window's close box: Cancel when there is one, else the
  // default answer.
  for (const B& b : buttons)
    if (b.answer == IDCANCEL) return IDCANCEL;
  return kv_message_box_default_answer(style);
}

int copy_out(const QByteArray& s, char* out, size_t size) {
  if (size == 0 || size_t(s.size()) + 1 > size) return 0;
  std::memcpy(out, s.constData(), size_t(s.size()));
  out[s.size()] = 0;
  return 1;
}

int qt_file_dialog(void*, const kv_file_dialog_request* req, char* out, size_t size) {
  QFileDialog dlg(dialog_parent());
  dlg.setAcceptMode(req->save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (req->title) dlg.setWindowTitle(QString::fromLatin1(req->title));
  if (req->initial_dir) dlg.setDirectory(QString::fromLocal8Bit(req->initial_dir));
  if (req->initial_name) dlg.selectFile(QString::fromLocal8Bit(req->initial_name));
  if (req->default_ext) {
    QString ext = QString::fromLatin1(req->default_ext);
    if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
    dlg.setDefaultSuffix(ext);
  }
  QString filter = kv_qt_filter(req->filter);
  if (!filter.isEmpty()) dlg.setNameFilter(filter);
  if (!req->save)
    dlg.setFileMode((req->flags & KV_FD_MULTISELECT) ? QFileDialog::ExistingFiles
                                                     : QFileDialog::ExistingFile);
  if (dlg.exec() != QDialog::Accepted) return 0;
  QStringList files = dlg.selectedFiles();
  if (files.isEmpty()) return 0;
  if (files.size() == 1)
    return copy_out(QFile::encodeName(QDir::toNativeSeparators(files[0])), out, size);
  QByteArray multi = QFile::encodeName(QFileInfo(files[0]).absolutePath());
  multi.append('\0');
  for (const QString& f : files) {
    multi.append(QFile::encodeName(QFileInfo(f).fileName()));
    multi.append('\0');
  }
  if (size_t(multi.size()) + 1 > size) return 0;
  std::memcpy(out, multi.constData(), size_t(multi.size()));
  out[multi.size()] = 0;
  return 1;
}

kv_qt_services& table() {
  static kv_qt_services t;
  return t;
}

std::function<void(unsigned)>& help_handler() {
  static std::function<void(unsigned)> f;
  return f;
}

int g_drag_kind = 0;
int g_wait_depth = 0;

}  // namespace

void kv_install_qt_services() {
  kv_services s{};
  s.message_box = &qt_message_box;
  s.file_dialog = &qt_file_dialog;
  kv_services_install(&s);
}

kv_qt_services kv_qt_services_install(const kv_qt_services& s) {
  kv_qt_services old = table();
  table() = s;
  return old;
}

int kv_choose_color(QWidget* parent, COLORREF* color, COLORREF custom[16]) {
  if (table().choose_color) return table().choose_color(parent, color, custom);
  for (int i = 0; i < 16 && i < QColorDialog::customCount(); i++)
    QColorDialog::setCustomColor(i, kv_qcolor(custom[i]));
  QColorDialog dlg(kv_qcolor(*color), parent);
  if (dlg.exec() != QDialog::Accepted) return 0;
  *color = kv_colorref(dlg.selectedColor());
  for (int i = 0; i < 16 && i < QColorDialog::customCount(); i++)
    custom[i] = kv_colorref(QColorDialog::customColor(i));
  return 1;
}

int kv_print_dialog(QWidget* parent, QPrinter* printer) {
  if (table().print_dialog) return table().print_dialog(parent, printer);
  QPrintDialog dlg(printer, parent);
  return dlg.exec() == QDialog::Accepted ? 1 : 0;
}

int kv_page_setup_dialog(QWidget* parent, QPrinter* printer) {
  if (table().page_setup) return table().page_setup(parent, printer);
  QPageSetupDialog dlg(printer, parent);
  return dlg.exec() == QDialog::Accepted ? 1 : 0;
}

int kv_open_url(const QString& url) {
  if (table().open_url) return table().open_url(url);
  return QDesktopServices::openUrl(QUrl(url)) ? 1 : 0;
}

int kv_open_help_file(const QString& path) {
  return kv_open_url(QUrl::fromLocalFile(path).toString());
}

void kv_set_help_handler(std::function<void(unsigned help_id)> fn) {
  help_handler() = std::move(fn);
}

void kv_win_help(unsigned help_id) {
  if (help_handler()) help_handler()(help_id);
}

namespace {
const char kDragKindFormat[] = "application/x-korvane-drag-kind";
}  // namespace

QMimeData* kv_text_drag_data(const QString& text, int source_kind) {
  auto* mime = new QMimeData;
  mime->setText(text);
  mime->setData(QString::fromLatin1(kDragKindFormat), QByteArray::number(source_kind));
  return mime;
}

int kv_dropped_source_kind(const QMimeData* data) {
  if (data && data->hasFormat(QString::fromLatin1(kDragKindFormat)))
    return data->data(QString::fromLatin1(kDragKindFormat)).toInt();
  return g_drag_kind;
}

int kv_start_text_drag(QWidget* source, const QString& text, int source_kind) {
  auto* drag = new QDrag(source);
  drag->setMimeData(kv_text_drag_data(text, source_kind));
  g_drag_kind = source_kind;
  Qt::DropAction a = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  g_drag_kind = 0;
  return int(a);
}

int kv_drag_source_kind() {
  return g_drag_kind;
}

QString kv_dropped_text(const QMimeData* data) {
  return data && data->hasText() ? data->text() : QString();
}

void kv_begin_wait_cursor() {
  if (g_wait_depth++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void kv_end_wait_cursor() {
  if (g_wait_depth > 0 && --g_wait_depth == 0) QApplication::restoreOverrideCursor();
}
