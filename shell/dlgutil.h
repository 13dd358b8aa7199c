// Pieces every modal dialog of the shell uses: the OK, Cancel and Help row,
// the names of the files of one kind in a data folder, and the data root
// made current again after a file dialog.
#pragma once

#include <QStringList>

class KvDialog;
class QDialogButtonBox;

// OK (the default button), Cancel and Help with their control ids, placed
// in the desktop's order; the dialog's layout takes the returned box.
QDialogButtonBox* kv_ok_cancel_help(KvDialog* dlg);

// The names of the files in a data folder (kv_folder) that match pattern
// ("*.txt"), extension cut off, sorted without regard to case.
QStringList kv_folder_file_titles(int folder, const char* pattern);

// After every file dialog, whatever its result: the data root is the
// current folder again (relative paths of the data code start there).
void kv_data_root_current();
