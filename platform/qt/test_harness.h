// Helpers for tests of windows: an application object on the offscreen
// platform, finding, clicking and typing into controls by id, driving a
// modal dialog, and pictures of windows and images as PNG. Message boxes
// are answered by the recording services of the test fixture
// (platform/testing/fixture.h), which stand in for the Qt ones.
#pragma once

#include <QImage>
#include <QString>
#include <functional>

class QWidget;
class KvApp;

// The one application object of a test program (made on first use, on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise). It leaves the
// platform services as they are: no Qt message box ever waits for a click.
KvApp* kv_test_app();

// Runs the event loop (posted window messages included) for ms milliseconds,
// or until pred is true; returns pred's last value.
void kv_pump_events(int ms = 0);
// The deadline is the one of the other test waits (platform/testing/wait.h).
bool kv_wait_until(const std::function<bool()>& pred, int timeout_ms = 10000);

// Controls by id inside root.
bool kv_click(QWidget* root, int id);
// Types text into an edit or an editable combo as a user would (replacing
// what it held), key by key.
bool kv_type(QWidget* root, int id, const QString& text);
// Chooses an item of a combo box or list box as a user would.
bool kv_choose(QWidget* root, int id, int index);
bool kv_set_check(QWidget* root, int id, bool checked);

// Runs fn as soon as a modal dialog is up (it gets the dialog), from the
// event loop; for tests that drive a DoModal.
void kv_when_modal(std::function<void(QWidget*)> fn);

bool kv_grab_png(QWidget* w, const QString& path);
bool kv_save_png(const QImage& image, const QString& path);
