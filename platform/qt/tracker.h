// Dragging a rectangle with the mouse (a splitter bar): while the button is
// held the rectangle follows the pointer, shown as an inverted outline in
// the view's image; releasing the button ends the drag, Escape cancels it.
#pragma once

#include <QPoint>

#include "platform/qt/canvas.h"

// Starts at the pointer position start (in view coordinates) with the
// button down. Returns true when the rectangle moved; rect then holds the
// new position. vertical_only keeps the left and right edges.
bool kv_track_rect(KvCanvasView* view, const QPoint& start, KvRect* rect,
                   bool vertical_only = true);
