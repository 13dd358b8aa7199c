// Connects the broker link to the modules that call it through hooks: the
// quote relay interface (connect, close, the input thread), the chart
// loader (connected state, the last history error) and the error handling's
// view of the relay's symbol slots and request thread.  Called once at
// start-up.
#pragma once

void install_tws_hooks();
