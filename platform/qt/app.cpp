#include "platform/qt/app.h"

#include <clocale>

#include "platform/qt/frames.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/wnd.h"

void kv_reset_numeric_locale() {
  std::setlocale(LC_NUMERIC, "C");
}

KvApp::KvApp(int& argc, char** argv, bool install_services) : QApplication(argc, argv) {
  kv_reset_numeric_locale();
  kv_install_qt_dispatcher();
  if (install_services) kv_install_qt_services();
}

KvApp::~KvApp() {
  CloseAllDocuments();
  m_templates.clear();
}

KvApp* KvApp::instance() {
  return dynamic_cast<KvApp*>(QCoreApplication::instance());
}

void KvApp::AddDocTemplate(std::unique_ptr<KvDocTemplate> t) {
  m_templates.push_back(std::move(t));
}

void KvApp::CloseAllDocuments() {
  for (auto& t : m_templates) t->CloseAllDocuments();
}

bool KvApp::SaveAllModified() {
  for (auto& t : m_templates)
    for (KvDocument* d : t->documents())
      if (d->IsModified() && !d->SaveModified()) return false;
  return true;
}
