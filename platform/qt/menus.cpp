#include "platform/qt/menus.h"

#include <QAction>

namespace {
std::function<QIcon(int)>& image_loader() {
  static std::function<QIcon(int)> f;
  return f;
}
}  // namespace

void kv_set_image_loader(std::function<QIcon(int image)> loader) {
  image_loader() = std::move(loader);
}

QIcon kv_load_image(int image) {
  if (image && image_loader()) return image_loader()(image);
  return QIcon();
}

unsigned kv_action_id(const QAction* a) {
  return a ? a->data().toUInt() : 0;
}

QAction* kv_make_action(unsigned id, const QString& text, int image, QObject* parent) {
  QAction* a = new QAction(text, parent);
  a->setData(id);
  a->setObjectName(QStringLiteral("cmd%1").arg(id));
  if (image) a->setIcon(kv_load_image(image));
  return a;
}

void kv_fill_menu(QMenu* menu, const std::vector<KvMenuItem>& items) {
  std::vector<QMenu*> stack{menu};
  for (const KvMenuItem& it : items) {
    QMenu* cur = stack.back();
    if (it.id == KV_MENU_POPUP) {
      stack.push_back(cur->addMenu(QString::fromLatin1(it.text)));
    } else if (it.id == KV_MENU_END) {
      if (stack.size() > 1) stack.pop_back();
    } else if (it.id == 0 && !it.text) {
      cur->addSeparator();
    } else {
      cur->addAction(kv_make_action(it.id, QString::fromLatin1(it.text), it.image, cur));
    }
  }
}

QAction* kv_find_action(QMenu* menu, unsigned id) {
  for (QAction* a : menu->actions()) {
    if (a->menu()) {
      if (QAction* f = kv_find_action(a->menu(), id)) return f;
    } else if (!a->isSeparator() && kv_action_id(a) == id) {
      return a;
    }
  }
  return nullptr;
}

void kv_update_menu(QMenu* menu, const std::function<void(KvCmdUI&)>& update) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator() || a->menu()) continue;
    KvCmdUI ui;
    ui.id = kv_action_id(a);
    ui.check = a->isChecked() ? 1 : 0;
    update(ui);
    a->setEnabled(ui.enabled);
    if (ui.check || a->isCheckable()) {
      a->setCheckable(true);
      a->setChecked(ui.check != 0);
    }
    if (ui.text_set) a->setText(ui.text);
  }
}

unsigned kv_track_popup_menu(QMenu* menu, const QPoint& global_pos,
                             const std::function<void(KvCmdUI&)>& update) {
  std::function<void(QMenu*)> walk = [&](QMenu* m) {
    kv_update_menu(m, update);
    for (QAction* a : m->actions())
      if (a->menu()) walk(a->menu());
  };
  walk(menu);
  QAction* chosen = menu->exec(global_pos);
  return chosen ? kv_action_id(chosen) : 0;
}

QString kv_tool_tip_text(const char* tip) {
  if (!tip) return QString();
  QString t = QString::fromLatin1(tip);
  int nl = t.indexOf(QLatin1Char('\n'));
  return nl >= 0 ? t.mid(nl + 1) : t;
}
