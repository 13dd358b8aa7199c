// Replacing an output file in one step: the bytes go to a temporary file in
// the same folder, which is flushed to disk and then renamed over the
// target, so that a failed write never leaves half a file behind.
#pragma once

#include <cstddef>

enum outfile_result {
    OUTFILE_OK = 0,
    OUTFILE_CREATE_FAILED,  // the temporary file could not be made, or the rename failed
    OUTFILE_WRITE_FAILED,   // fewer bytes than asked reached the disk
};

// Writes size bytes to path, replacing any file there. *written receives
// the number of bytes the write accepted.
outfile_result replace_output_file(const char* path, const void* data, size_t size,
                                   size_t* written);
