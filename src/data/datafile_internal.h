// Shared between the opening and the reading halves of the data access layer; not for use
// outside src/data/datafile*.cpp.
#pragma once

struct DataFile;

// Reads and checks the gzip header at the stream's current position and starts raw inflation.
// The stream's limit becomes the compressed size limit. 1 on success; on failure nothing is
// left allocated (the caller closes the file).
int data_inflate_start(DataFile* stream);
// Ends decompression and frees its state; harmless on an uncompressed stream.
void data_inflate_end(DataFile* stream);
