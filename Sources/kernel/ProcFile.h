#pragma once

#include <string>

// Reads one file whole, again and again, with plain system calls and a buffer
// kept from one read to the next: Quorvel and its helper each read a counter
// file every second for the life of the program.
//
// A file of /proc or /sys is made anew by the kernel on every read from its
// start, so its descriptor is kept open and read again from offset 0. That
// halves the cost of a read on a machine at rest: opening it walks the path
// and sets up a new seq_file each time. A kept descriptor whose file went (a
// device unplugged) fails its read, and the path is opened afresh at the
// next. Any other file (a test's fixture, which may be
// replaced or removed between reads) is opened anew each time, so that a
// replaced file is seen and a removed one fails.
class ProcFile {
public:
    explicit ProcFile(std::string path);
    ~ProcFile();
    ProcFile(const ProcFile&) = delete;
    ProcFile& operator=(const ProcFile&) = delete;

    // The file's whole text, or null with errno set when it cannot be read.
    const std::string* read();

    const std::string& path() const { return path_; }

private:
    int openForReading();

    std::string path_;
    std::string text_;
    int keptFd_ = -1;
};
