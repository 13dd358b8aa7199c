// The tindral command: builds symnames.six in the current folder from the
// symbol-directory files named on the command line.
#pragma once

// Runs the command, printing to standard output; returns the exit code.
int tindral_main(int argc, char** argv);
