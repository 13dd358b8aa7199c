// The pexlor command: copies a price file to a new file for another symbol,
// optionally shifting every price by a fixed amount.
#pragma once

// Runs the command, printing to standard output; returns the exit code.
int pexlor_main(int argc, char** argv);
